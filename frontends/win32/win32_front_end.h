#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "control/controller.h"
#include "form/front_end.h"
#include "win32/dialog_binding.h"

namespace win32 {

// The message that tells the user-interface thread to work through the queue.
const UINT WM_APP_QUEUE = WM_APP + 1;

// The controller's front end in a Win32 dialog. Win32 delivers sent messages before posted
// ones, so handlers and log lines go through one queue of our own, in the order they were
// produced, as Qt's single queue keeps them. A worker waits until its handler has run; a log
// line never waits.
class Win32FrontEnd : public station::FrontEnd {
  public:
    Win32FrontEnd(station::Controller& controller, DialogBinding& binding, HWND frame);
    ~Win32FrontEnd() override;

    void run_on_ui(const std::function<void()>& handler) override;
    void form_changed() override;

    // On the user-interface thread: a button, a channel radio or an up-down control.
    bool command(int id);
    void spin_moved(int id);
    // Runs what the queue holds, in order (WM_APP_QUEUE).
    void run_queue();

  private:
    struct Item {
        std::function<void()> work;
        bool* done = nullptr;
    };

    void post(Item item);
    void press(station::Button button);

    station::Controller& controller_;
    DialogBinding& binding_;
    HWND frame_;
    DWORD ui_thread_;
    std::mutex mutex_;
    std::condition_variable ran_;
    std::deque<Item> queue_;
};

}  // namespace win32
