#pragma once

#include <QObject>
#include <functional>

#include "control/controller.h"
#include "form/front_end.h"
#include "qt/form_binding.h"

namespace gui {

// The window as the controller's front end: form messages from worker threads run on the
// user-interface thread while the worker waits for them (a blocking queued call);
// log lines arrive queued and never block a worker.
class QtFrontEnd : public QObject, public station::FrontEnd {
  public:
    using RefreshExtras = std::function<void()>;

    QtFrontEnd(station::Controller& controller, FormBinding& binding, QWidget* window,
               RefreshExtras refresh_extras = {});
    ~QtFrontEnd() override;

    void run_on_ui(const std::function<void()>& handler) override;
    void form_changed() override;

  private:
    void connect_controls();
    void press(station::Button button);

    station::Controller& controller_;
    FormBinding& binding_;
    QWidget* window_;
    RefreshExtras refresh_extras_;
};

}  // namespace gui
