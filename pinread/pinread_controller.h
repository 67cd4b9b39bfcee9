#pragma once

#include "controller.h"

namespace pinread {

const core::ProgramInfo PINREAD_INFO{"Pinread", "Pinread"};

class PinreadController : public core::Controller {
  public:
    using core::Controller::Controller;
    ~PinreadController() override { close(); }

    const core::ProgramInfo& info() const override { return PINREAD_INFO; }

  protected:
    core::FormModel& form_model() override { return form_; }
    const core::FormModel& form_model() const override { return form_; }
    core::SurveyPauses survey_pauses() const override;
    std::string idle_status() const override;
    std::string prohibition_subject() const override { return "режима DTMF"; }
    void OnFormState(int code) override;

  private:
    core::FormModel form_;
};

// Pinread names DTMF reception with a trailing blank.
const char* const DTMF_MODE_NAME = "Прием DTMF-кода ";

}  // namespace pinread
