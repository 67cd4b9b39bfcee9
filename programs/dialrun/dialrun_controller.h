#pragma once

#include "control/controller.h"
#include "dialrun/dialrun_form.h"
#include "dialrun/dialrun_state.h"

namespace dialrun {

const station::ProgramInfo DIALRUN_INFO{"Dialrun", "Прозвонка"};

class DialrunController : public station::Controller, private DialrunMessages {
  public:
    DialrunController(core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound);

    const DialrunForm& dialrun_form() const { return form_; }
    const DialrunState& dialrun_state() const { return d_; }
    std::vector<std::pair<std::string, std::string>> show() const override;
    std::vector<std::pair<std::string, const station::TextList*>> form_lists() const override;
    int progress() const override { return form_.progress; }
    // "set-wait N" and "set-stop N": the spins "Ожид." (1..59) and "Стоп" (1..23).
    bool program_command(const std::string& word, const std::string& argument) override;
    // stop-hour and wait start the spins; call-start, call-days and holidays make the
    // calling window; retry, retry-gap and retry-marks the retry rounds; campaign-db,
    // campaign, rack-name and claim-lease a campaign shared with other racks.
    std::string take_settings(const std::map<std::string, std::string>& values) override;

  protected:
    std::optional<std::string> OnStart() override;
    std::optional<std::string> OnStop() override;
    station::FormModel& form_model() override { return form_; }
    const station::FormModel& form_model() const override { return form_; }
    void OnFormState(int code) override;
    void start_program_workers() override;
    std::vector<std::pair<std::string, std::string>> status_counts() const override;

  private:
    // The engine's verdicts and records read, shown in the lists and counters; they run on the
    // user-interface side while the engine waits.
    void channel_result(int code, int channel) override;
    void record_read(int code) override;
    void pause_changed(int64_t until, const std::string& reason) override;
    void OnChannelResult(int code);
    void OnRecordRead(int code);
    void forget_verdict(const std::string& number);
    int progress_value() const;
    campaign::CallingWindow window_;  // its stop hour is the spin's at "Старт"
    campaign::RetryRules retry_;
    SharedSettings shared_;  // its connection "" without campaign-db: the run reads Ring.TXT
    std::optional<std::string> start_shared();
    void begin_run(const campaign::CallingWindow& window, unsigned records);
    std::string take_shared_settings(const std::map<std::string, std::string>& values);
    void clear_lists();
    void mark_logged_verdicts(const std::string& list_bytes);
    std::string now_stamp() const;

    DialrunForm form_;
    DialrunState d_;
};

}  // namespace dialrun
