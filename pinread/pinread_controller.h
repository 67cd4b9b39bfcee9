#pragma once

#include "controller.h"
#include "pinread_state.h"

namespace pinread {

const core::ProgramInfo PINREAD_INFO{"Pinread", "Pinread"};

// Pinread names DTMF reception with a trailing blank.
const char* const DTMF_MODE_NAME = "Прием DTMF-кода ";

class PinreadController : public core::Controller {
  public:
    using core::Controller::Controller;
    ~PinreadController() override { close(); }

    const core::ProgramInfo& info() const override { return PINREAD_INFO; }
    const PinreadState& pinread_state() const { return p_; }

  protected:
    bool has_engine() const override { return true; }
    std::optional<std::string> OnStart() override;
    std::optional<std::string> OnStop() override;
    PinreadState& engine_state() { return p_; }
    core::FormModel& form_model() override { return form_; }
    const core::FormModel& form_model() const override { return form_; }
    core::SurveyPauses survey_pauses() const override;
    std::string idle_status() const override;
    std::string prohibition_subject() const override { return "режима DTMF"; }
    void OnFormState(int code) override;
    void start_program_workers() override;
    const core::UploadTable* upload_table(core::Button button) const override;

  private:
    core::FormModel form_;
    PinreadState p_;
};

}  // namespace pinread
