#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "control/controller.h"
#include "win32/dialog_binding.h"
#include "win32/dialog_setup.h"
#include "win32/form_layout.h"
#include "win32/win32_front_end.h"

namespace win32 {

// A program's window: a frame with the menus "Выход" and "?", and the program's dialog 101
// from its resources inside, bound to the controller. The controller (the port already open,
// the survey and the workers) starts as the window is made.
class ProgramWindow {
  public:
    ProgramWindow(station::Controller& controller, const std::string& start_notes,
                  DialogSetup setup);
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    HWND frame() const { return frame_; }
    HWND dialog() const { return dialog_; }
    // True while the list views wait for their timer to catch up with the lists.
    bool lists_pending() const { return binding_->lists_pending(); }
    // Runs what the window's messages ask for; false once the window is gone.
    bool pump_messages(bool wait);

  private:
    static LRESULT CALLBACK frame_procedure(HWND, UINT, WPARAM, LPARAM);
    static INT_PTR CALLBACK dialog_procedure(HWND, UINT, WPARAM, LPARAM);
    LRESULT frame_message(UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR dialog_message(UINT message, WPARAM wparam, LPARAM lparam);
    void make_menu();
    void fit_to_dialog();
    void show_about();

    station::Controller& controller_;
    DialogSetup setup_;
    HWND frame_ = nullptr;
    HWND dialog_ = nullptr;
    std::unique_ptr<FormScroll> scroll_;
    std::unique_ptr<DialogBinding> binding_;
    std::unique_ptr<Win32FrontEnd> front_end_;
    bool closed_ = false;
};

// The window until it is closed; returns the exit status.
int run_window(station::Controller& controller, const std::string& start_notes, DialogSetup setup);

// Why the program cannot start, in a box before any window: an operator who started it from
// the Start menu sees no console.
void show_start_refusal(const station::ProgramInfo& info, const std::string& text);

}  // namespace win32
