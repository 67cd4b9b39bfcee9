#pragma once

#include <functional>

namespace station {

// What a front end (the Qt window, the Win32 window or the console) does for the controller.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // Runs a form handler on the user-interface side and returns once it has run; the caller
    // must hold no lock that the user-interface side needs.
    virtual void run_on_ui(const std::function<void()>& handler) = 0;
    // The form's members have changed: show them. Called on the user-interface side.
    virtual void form_changed() = 0;
};

}  // namespace station
