#pragma once

#include <array>

#include "control/controller.h"
#include "inform/informer_engine.h"

namespace inform {

const station::ProgramInfo INFORM_INFO{"Inform", "Автоинформатор"};

// Inform's form: the common members and a message counter per channel.
struct InformForm : station::FormModel {
    std::array<unsigned, core::CHANNEL_COUNT> call_count{};
};

class InformController : public station::Controller {
  public:
    InformController(core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound);

    const InformForm& inform_form() const { return form_; }
    const InformState& inform_state() const { return i_; }
    std::vector<std::string> row(int k) const override;
    std::vector<std::pair<std::string, std::string>> show() const override;
    // clock-check: how an unsynchronised PC clock is treated (off, warn, hold).
    std::string take_settings(const std::map<std::string, std::string>& values) override;
    // The check with the clock's state from elsewhere (a test's).
    void set_clock_check(const ClockCheck& check) { i_.clock_check = check; }

  protected:
    std::optional<std::string> OnStart() override { return OnStartInformer(); }
    std::optional<std::string> OnStop() override { return OnStopInformer(); }
    std::optional<std::string> OnStartInformer();
    std::optional<std::string> OnStopInformer();
    station::FormModel& form_model() override { return form_; }
    const station::FormModel& form_model() const override { return form_; }
    void OnFormState(int code) override;
    void start_program_workers() override;
    std::vector<std::pair<std::string, std::string>> status_counts() const override;

  private:
    InformForm form_;
    InformState i_;
};

}  // namespace inform
