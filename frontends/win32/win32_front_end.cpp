#include "win32/win32_front_end.h"

#include <commctrl.h>

#include "win32/message_box.h"

namespace win32 {

Win32FrontEnd::Win32FrontEnd(station::Controller& controller, DialogBinding& binding, HWND frame)
    : controller_(controller), binding_(binding), frame_(frame), ui_thread_(GetCurrentThreadId()) {
    controller_.state().log.set_listener(
        {[this](const std::string& line, bool selected) {
             post({[this, line, selected] { binding_.add_log_line(line, selected); }});
         },
         [this] { post({[this] { binding_.clear_log(); }}); }});
}

Win32FrontEnd::~Win32FrontEnd() {
    controller_.state().log.set_listener({});
}

void Win32FrontEnd::post(Item item) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(item));
    }
    PostMessageW(binding_.dialog(), WM_APP_QUEUE, 0, 0);
}

void Win32FrontEnd::run_queue() {
    // A message box inside a handler runs a message loop that may come back here: each item
    // is taken off before it runs, so the order holds either way.
    for (;;) {
        Item item;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        item.work();
        if (item.done != nullptr) {
            std::lock_guard lock(mutex_);
            *item.done = true;
            ran_.notify_all();
        }
    }
}

void Win32FrontEnd::run_on_ui(const std::function<void()>& handler) {
    if (GetCurrentThreadId() == ui_thread_) {
        handler();
        return;
    }
    bool done = false;
    post({[&handler] { handler(); }, &done});
    std::unique_lock lock(mutex_);
    ran_.wait(lock, [&done] { return done; });
}

void Win32FrontEnd::form_changed() {
    binding_.refresh(controller_.form());
    if (binding_.setup().refresh_extras) {
        binding_.setup().refresh_extras(binding_, controller_);
    }
    binding_.lists_changed();
}

bool Win32FrontEnd::command(int id) {
    const station::FormControls& ids = binding_.setup().controls;
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        if (ids.radio[k] == id) {
            controller_.OnChannelK(k + 1);
            return true;
        }
    }
    for (const auto& [button_id, button] : ids.buttons) {
        if (button_id == id) {
            press(button);
            return true;
        }
    }
    return false;
}

void Win32FrontEnd::spin_moved(int id) {
    for (const SpinBinding& spin : binding_.setup().spins) {
        if (spin.id == id) {
            LRESULT value = SendMessageW(binding_.control(id), UDM_GETPOS32, 0, 0);
            controller_.program_command(spin.command, std::to_string(value));
        }
    }
}

void Win32FrontEnd::press(station::Button button) {
    std::optional<std::string> box = controller_.press(button);
    if (box) {
        show_message_box(frame_, controller_.info().name, *box);
    }
    form_changed();
}

}  // namespace win32
