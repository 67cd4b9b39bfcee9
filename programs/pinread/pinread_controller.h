#pragma once

#include "control/controller.h"
#include "pinread/pinread_state.h"

namespace pinread {

const station::ProgramInfo PINREAD_INFO{"Pinread", "Pinread"};

// Pinread names DTMF reception with a trailing blank.
const char* const DTMF_MODE_NAME = "Прием DTMF-кода ";

class PinreadController : public station::Controller {
  public:
    PinreadController(core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound);

    const PinreadState& pinread_state() const { return p_; }

  protected:
    std::optional<std::string> OnStart() override;
    std::optional<std::string> OnStop() override;
    PinreadState& engine_state() { return p_; }
    station::FormModel& form_model() override { return form_; }
    const station::FormModel& form_model() const override { return form_; }
    void OnFormState(int code) override;
    void start_program_workers() override;
    std::vector<std::pair<std::string, std::string>> status_counts() const override;

  private:
    station::FormModel form_;
    PinreadState p_;
    unsigned codes_read_ = 0;  // this run's, for the status file
};

}  // namespace pinread
