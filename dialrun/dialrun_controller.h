#pragma once

#include "controller.h"
#include "dialrun_form.h"

namespace dialrun {

const core::ProgramInfo DIALRUN_INFO{"Dialrun", "Прозвонка"};

class DialrunController : public core::Controller {
  public:
    using core::Controller::Controller;
    ~DialrunController() override { close(); }

    const core::ProgramInfo& info() const override { return DIALRUN_INFO; }
    const DialrunForm& dialrun_form() const { return form_; }
    std::vector<std::pair<std::string, std::string>> show() const override;
    // "set-wait N" and "set-stop N": the spins "Ожид." (1..59) and "Стоп" (1..23).
    bool program_command(const std::string& word, const std::string& argument) override;

  protected:
    core::FormModel& form_model() override { return form_; }
    const core::FormModel& form_model() const override { return form_; }
    core::SurveyPauses survey_pauses() const override { return {}; }
    std::string idle_status() const override;
    void OnFormState(int code) override;

  private:
    DialrunForm form_;
};

}  // namespace dialrun
