#include "win32/program_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "base/utf8_text.h"
#include "win32/message_box.h"

namespace win32 {

namespace {

const wchar_t* const FRAME_CLASS = L"BoardrackFrame";
const int DIALOG_ID = 101;
// The menu commands keep the original's ids: Exit and About.
const UINT EXIT_COMMAND = 0xE141;
const UINT ABOUT_COMMAND = 0xE140;
// The frame starts at 700 x 700 pixels.
const int FRAME_SIZE = 700;

// Once per process is enough; a second registration fails harmlessly.
void register_frame_class(WNDPROC procedure) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                       ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW frame{};
    frame.cbSize = sizeof frame;
    frame.lpfnWndProc = procedure;
    frame.hInstance = GetModuleHandleW(nullptr);
    frame.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    // The program's own icon, resource 1; Windows' plain one for a program without it.
    frame.hIcon = LoadIconW(frame.hInstance, MAKEINTRESOURCEW(1));
    if (frame.hIcon == nullptr) {
        frame.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    }
    frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frame.lpszClassName = FRAME_CLASS;
    RegisterClassExW(&frame);
}

}  // namespace

ProgramWindow::ProgramWindow(station::Controller& controller, const std::string& start_notes,
                             DialogSetup setup)
    : controller_(controller), setup_(std::move(setup)) {
    register_frame_class(frame_procedure);
    frame_ =
        CreateWindowExW(0, FRAME_CLASS, core::to_utf16(controller.info().title).c_str(),
                        WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL, CW_USEDEFAULT, CW_USEDEFAULT,
                        FRAME_SIZE, FRAME_SIZE, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    make_menu();
    dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(DIALOG_ID), frame_,
                                 dialog_procedure, reinterpret_cast<LPARAM>(this));
    fit_group_titles(dialog_);
    scroll_ = std::make_unique<FormScroll>(frame_, dialog_);
    binding_ = std::make_unique<DialogBinding>(dialog_, setup_);
    front_end_ = std::make_unique<Win32FrontEnd>(controller_, *binding_, frame_);
    fit_to_dialog();
    controller_.start(*front_end_, start_notes);
    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
}

ProgramWindow::~ProgramWindow() {
    front_end_.reset();
    if (!closed_) {
        DestroyWindow(frame_);
    }
}

void ProgramWindow::make_menu() {
    HMENU bar = CreateMenu();
    HMENU exit_menu = CreatePopupMenu();
    AppendMenuW(exit_menu, MF_STRING, EXIT_COMMAND, L"E&xit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(exit_menu), L"Выход");
    HMENU help_menu = CreatePopupMenu();
    std::wstring about = L"&About " + core::to_utf16(controller_.info().name) + L"...";
    AppendMenuW(help_menu, MF_STRING, ABOUT_COMMAND, about.c_str());
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help_menu), L"?");
    SetMenu(frame_, bar);
}

// 700 x 700 at first, then fitted to the form. The form's
// size in pixels follows the dialog font the system has, so the frame may also grow, within
// the screen, where Qt's window would show scroll bars.
void ProgramWindow::fit_to_dialog() {
    RECT form{};
    GetWindowRect(dialog_, &form);
    RECT outer{0, 0, form.right - form.left, form.bottom - form.top};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, TRUE, 0);
    RECT screen{0, 0, FRAME_SIZE, FRAME_SIZE};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    int width = std::min<int>(screen.right - screen.left, outer.right - outer.left);
    int height = std::min<int>(screen.bottom - screen.top, outer.bottom - outer.top);
    SetWindowPos(frame_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    scroll_->fit();
}

void ProgramWindow::show_about() {
    std::string name = controller_.info().name;
    show_message_box(frame_, "About " + name, name + " Version 1.0", MB_ICONINFORMATION);
}

LRESULT CALLBACK ProgramWindow::frame_procedure(HWND window, UINT message, WPARAM wparam,
                                                LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ProgramWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->frame_ == nullptr) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return self->frame_message(message, wparam, lparam);
}

LRESULT ProgramWindow::frame_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wparam) == EXIT_COMMAND) {
                DestroyWindow(frame_);
                return 0;
            }
            if (LOWORD(wparam) == ABOUT_COMMAND) {
                show_about();
                return 0;
            }
            break;
        case WM_SIZE:
            if (scroll_) {
                scroll_->fit();
            }
            return 0;
        case WM_HSCROLL:
        case WM_VSCROLL:
            scroll_->scroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wparam), 0);
            return 0;
        case WM_MOUSEWHEEL:
            scroll_->scroll(SB_VERT, -1, GET_WHEEL_DELTA_WPARAM(wparam));
            return 0;
        case WM_DESTROY:
            closed_ = true;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(frame_, message, wparam, lparam);
}

INT_PTR CALLBACK ProgramWindow::dialog_procedure(HWND dialog, UINT message, WPARAM wparam,
                                                 LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        return TRUE;
    }
    auto* self = reinterpret_cast<ProgramWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr || !self->front_end_) {
        return FALSE;
    }
    return self->dialog_message(message, wparam, lparam);
}

INT_PTR ProgramWindow::dialog_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_APP_QUEUE:
            front_end_->run_queue();
            return TRUE;
        case WM_COMMAND:
            return HIWORD(wparam) == BN_CLICKED && front_end_->command(LOWORD(wparam));
        case WM_VSCROLL:
            if (LOWORD(wparam) == SB_THUMBPOSITION && lparam != 0) {
                front_end_->spin_moved(GetDlgCtrlID(reinterpret_cast<HWND>(lparam)));
                return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            if (wparam == LIST_TIMER) {
                binding_->apply_lists();
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lparam);
            if (header->code == LVN_GETDISPINFOW) {
                return binding_->list_entry_text(*reinterpret_cast<NMLVDISPINFOW*>(lparam));
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

bool ProgramWindow::pump_messages(bool wait) {
    MSG message;
    while (wait ? GetMessageW(&message, nullptr, 0, 0) > 0
                : PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
        if (message.message == WM_QUIT) {
            return false;
        }
        if (IsDialogMessageW(dialog_, &message)) {
            if (message.message == WM_KEYDOWN) {
                scroll_->show(GetFocus());  // Tab or an arrow moved the focus
            }
        } else {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        wait = false;
    }
    return !closed_;
}

int run_window(station::Controller& controller, const std::string& start_notes, DialogSetup setup) {
    int status = 0;
    {
        ProgramWindow window(controller, start_notes, std::move(setup));
        // The log box shows only the start of a long line: why the port did not open (and
        // what helps) is said in a box over the window as well.
        if (!start_notes.empty()) {
            show_message_box(window.frame(), controller.info().name, start_notes, MB_ICONWARNING);
        }
        while (window.pump_messages(true)) {
        }
        controller.end_program(status);
    }
    return status;
}

void show_start_refusal(const station::ProgramInfo& info, const std::string& text) {
    show_message_box(nullptr, info.title, text, MB_ICONERROR);
}

}  // namespace win32
