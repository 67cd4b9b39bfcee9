// The Win32 windows under Wine: dialog 101 from the .ui form with the original's ids, and a
// campaign started by "Старт Прозвонки" pressed by its control id.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>

#include "app/runtime.h"
#include "base/utf8_text.h"
#include "dialrun/dialrun_dialog.h"
#include "inform/inform_dialog.h"
#include "support/fast_runtime.h"
#include "support/temp_root.h"
#include "win32/program_window.h"

using namespace std::chrono_literals;
using dialrun::dialog_setup;
using inform::dialog_setup;

namespace {

// A program with its window on a simulated rack under virtual time.
template <typename C>
struct Windowed {
    Windowed(const std::string& rack_text, const std::string& root) {
        runtime = fast_runtime(rack_dir, rack_text, root);
        controller = std::make_unique<C>(runtime->link(), runtime->clock(), runtime->drive(),
                                         runtime->sound());
        window = std::make_unique<win32::ProgramWindow>(*controller, "", dialog_setup(*controller));
        EXPECT_TRUE(settle());
    }
    ~Windowed() { controller->close(); }

    // The workers' handlers need the message loop: run it until they are done and the list
    // views have caught up (their timer).
    bool settle() {
        auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            window->pump_messages(false);
            if (!controller->busy() && !window->lists_pending() && pending_messages() == 0) {
                return true;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return false;
    }
    int pending_messages() {
        MSG message;
        return PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) ? 1 : 0;
    }

    HWND control(int id) { return GetDlgItem(window->dialog(), id); }
    // What a click on a button or radio sends its dialog. (BM_CLICK needs the window to be
    // the active one, which a later test's window under Wine without a window manager is not.)
    void click(int id) {
        SendMessageW(window->dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control(id)));
    }
    std::string text(int id) {
        wchar_t text[256] = {};
        GetWindowTextW(control(id), text, 256);
        return core::from_utf16(text, wcslen(text));
    }
    // A list view's rows, asked of it as Windows would draw them.
    std::vector<std::string> rows(int id) {
        std::vector<std::string> entries;
        int count = static_cast<int>(SendMessageW(control(id), LVM_GETITEMCOUNT, 0, 0));
        for (int r = 0; r < count; ++r) {
            wchar_t text[64] = {};
            LVITEMW item{};
            item.pszText = text;
            item.cchTextMax = 64;
            SendMessageW(control(id), LVM_GETITEMTEXTW, static_cast<WPARAM>(r),
                         reinterpret_cast<LPARAM>(&item));
            entries.push_back(core::from_utf16(text, wcslen(text)));
        }
        return entries;
    }

    TempRoot rack_dir;
    std::unique_ptr<program::Runtime> runtime;
    std::unique_ptr<C> controller;
    std::unique_ptr<win32::ProgramWindow> window;
};

using DialrunWindow = Windowed<dialrun::DialrunController>;
using InformWindow = Windowed<inform::InformController>;

// The text of an open message box: its static controls' texts.
std::string box_text(HWND box) {
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t kind[16] = {};
        wchar_t line[512] = {};
        GetClassNameW(child, kind, 16);
        if (lstrcmpiW(kind, L"Static") == 0 && GetWindowTextW(child, line, 512) > 0) {
            text += core::from_utf16(line, wcslen(line));
        }
    }
    return text;
}

// What a timer sees of an open box while the button's handler waits in it.
struct BoxWatch {
    const station::Controller* controller = nullptr;
    std::string text;
    bool finished_under_the_box = false;
};
BoxWatch* box_watch = nullptr;

void CALLBACK watch_box(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowW(L"#32770", core::to_utf16(box_watch->controller->info().name).c_str());
    if (box == nullptr) {
        return;
    }
    box_watch->text = box_text(box);
    // The check thread's form messages must get through while the box waits for OK.
    if (!box_watch->controller->busy()) {
        box_watch->finished_under_the_box = true;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

}  // namespace

TEST(Win32Window, DialogHasTheFormsControlsWithTheirIdsAndCaptions) {
    TempRoot root;
    DialrunWindow w("K1 ring line\n", root.path.string());
    const std::pair<int, const char*> controls[] = {{1042, "Старт Прозвонки"},
                                                    {1043, "Стоп Прозвонки"},
                                                    {1044, "Запись Фонем"},
                                                    {1059, "Контроль Ф."},
                                                    {1060, "Да/Нет  З.Ф."},
                                                    {1001, "K1"},
                                                    {1008, "K8"}};
    for (auto [id, caption] : controls) {
        EXPECT_EQ(w.text(id), caption) << id;
    }
    wchar_t kind[64] = {};
    for (int id : {1056, 1041, 1040}) {
        GetClassNameW(w.control(id), kind, 64);
        EXPECT_STREQ(kind, L"SysListView32") << id;
        EXPECT_NE(GetWindowLongW(w.control(id), GWL_STYLE) & LVS_OWNERDATA, 0) << id;
    }
    GetClassNameW(w.control(1050), kind, 64);
    EXPECT_STREQ(kind, L"msctls_updown32");
    GetClassNameW(w.control(1000), kind, 64);
    EXPECT_STREQ(kind, L"msctls_progress32");
    // After the survey the radio shows K8, where it ended.
    EXPECT_EQ(IsDlgButtonChecked(w.window->dialog(), 1008), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(w.window->dialog(), 1001), BST_UNCHECKED);
    // The keyboard: the arrows go round K1..K8 as one group; Tab stops at the buttons, the
    // spins' edits and the lists, never at a read-only text or a check box that only shows.
    HWND dialog = w.window->dialog();
    std::vector<int> round;
    HWND at = w.control(1001);
    do {
        round.push_back(GetDlgCtrlID(at));
        at = GetNextDlgGroupItem(dialog, at, FALSE);
    } while (at != w.control(1001) && round.size() < 20);
    EXPECT_EQ(round, (std::vector<int>{1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008}));
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(c, GWL_STYLE);
        GetClassNameW(c, kind, 64);
        bool shows_only = (lstrcmpiW(kind, L"Edit") == 0 && (style & ES_READONLY) != 0) ||
                          (lstrcmpiW(kind, L"Button") == 0 && (style & BS_TYPEMASK) == BS_CHECKBOX);
        if (shows_only) {
            EXPECT_EQ(style & WS_TABSTOP, 0) << GetDlgCtrlID(c);
        }
    }
    // "Список" keeps room for its vertical scroll bar: no horizontal one when it comes.
    RECT area{};
    GetClientRect(w.control(1056), &area);
    EXPECT_LE(SendMessageW(w.control(1056), LVM_GETCOLUMNWIDTH, 0, 0),
              area.right - GetSystemMetrics(SM_CXVSCROLL));
}

TEST(Win32Window, StartPressedByItsControlIdFillsTheListsAndCounters) {
    TempRoot root;
    root.write("Ring.TXT", record("1111111", "   1000", 'Y') + record("2222222", "   2000") +
                               record("3333333", "   3000") + record("4444444", "   4000") +
                               "\r\n");
    DialrunWindow w("K1 ring line results=1,2\nK2 ring line results=0\n", root.path.string());
    w.click(1042);  // "Старт Прозвонки"
    ASSERT_TRUE(w.settle());
    EXPECT_EQ(w.rows(1056),
              (std::vector<std::string>{"1111111  Y", "2222222   ", "3333333   ", "4444444   "}));
    EXPECT_EQ(w.rows(1041), (std::vector<std::string>{"1111111 ", "2222222 "}));
    EXPECT_EQ(w.rows(1040), (std::vector<std::string>{"3333333 ", "4444444 "}));
    EXPECT_EQ(
        SendMessageW(w.control(1040), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
    EXPECT_EQ(w.text(1046), "4");
    EXPECT_EQ(w.text(1047), "2");
    EXPECT_EQ(w.text(1048), "2");
    EXPECT_EQ(w.text(1061), " 08-12  10:00");
    EXPECT_EQ(SendMessageW(w.control(1000), PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(w.text(1029).substr(0, 7), "Stop ! ");
    EXPECT_EQ(w.text(1045), " Завершение прозвонки абонентов ! ");
    // The log box holds the log's lines in the order the workers wrote them.
    std::vector<std::string> shown;
    HWND log = w.control(1038);
    for (int r = 0; r < SendMessageW(log, LB_GETCOUNT, 0, 0); ++r) {
        wchar_t line[256] = {};
        SendMessageW(log, LB_GETTEXT, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(line));
        shown.push_back(core::from_utf16(line, wcslen(line)));
    }
    EXPECT_EQ(shown, w.controller->state().log.lines());
}

// On a screen too small for the form (800 x 600, or a scaled one) the frame is smaller than
// the form: its scroll bars reach the bottom right counter and the end of the log box, and a
// frame large again shows the whole form.
TEST(Win32Window, AFrameSmallerThanTheFormScrollsToEveryControl) {
    TempRoot root;
    DialrunWindow w("K1 ring line\n", root.path.string());
    HWND frame = w.window->frame();
    // Whether a control's bottom corner (its end) shows: the right one, or the left one of a
    // control wider than this small frame.
    auto inside = [&](int id, bool right = true) {
        RECT shown{}, client{};
        GetWindowRect(w.control(id), &shown);
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&shown), 2);
        GetClientRect(frame, &client);
        LONG x = right ? shown.right : shown.left;
        return x >= 0 && x <= client.right && shown.bottom >= 0 && shown.bottom <= client.bottom;
    };
    SetWindowPos(frame, nullptr, 0, 0, 2000, 2000, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(w.settle());
    ASSERT_TRUE(inside(1048) && inside(1038)) << "the whole form shows in a frame large enough";
    SetWindowPos(frame, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(w.settle());
    EXPECT_FALSE(inside(1048));
    EXPECT_FALSE(inside(1038, false));
    SendMessageW(frame, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageW(frame, WM_HSCROLL, SB_BOTTOM, 0);
    EXPECT_TRUE(inside(1048)) << "the counter of the not notified cannot be reached";
    SendMessageW(frame, WM_HSCROLL, SB_TOP, 0);
    EXPECT_TRUE(inside(1038, false)) << "the end of the log box cannot be reached";
    SendMessageW(frame, WM_VSCROLL, SB_TOP, 0);
    EXPECT_FALSE(inside(1038, false));
    // Resizing keeps the scroll position in range: a frame as large as the form shows it whole
    // from its corner again.
    SendMessageW(frame, WM_VSCROLL, SB_BOTTOM, 0);
    SetWindowPos(frame, nullptr, 0, 0, 2000, 2000, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(w.settle());
    RECT form{};
    GetWindowRect(w.window->dialog(), &form);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&form), 2);
    EXPECT_EQ(form.left, 0);
    EXPECT_EQ(form.top, 0);
    EXPECT_TRUE(inside(1048) && inside(1038));
}

TEST(Win32Window, TheSpinsChangeTheSettings) {
    TempRoot root;
    DialrunWindow w("K1 ring line\n", root.path.string());
    SendMessageW(w.control(1050), UDM_SETPOS32, 0, 21);
    SendMessageW(w.window->dialog(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 21),
                 reinterpret_cast<LPARAM>(w.control(1050)));
    ASSERT_TRUE(w.settle());
    EXPECT_EQ(w.controller->dialrun_form().wait_setting, 21u);
    EXPECT_EQ(w.text(1049), "21");
}

TEST(Win32Window, TheCheckRunsWhileItsBoxIsOpen) {
    TempRoot root;
    InformWindow w("K2 informer line play-time=5\n", root.path.string());
    w.click(1019);  // K2
    BoxWatch watch;
    watch.controller = w.controller.get();
    box_watch = &watch;
    UINT_PTR timer = SetTimer(nullptr, 0, 5, watch_box);
    w.click(1049);  // "Контроль Ф.": returns when OK is pressed
    KillTimer(nullptr, timer);
    box_watch = nullptr;
    EXPECT_TRUE(watch.finished_under_the_box);
    EXPECT_EQ(watch.text,
              "           ВНИМАНИЕ !\nПозвонить,прослушать все фонемы\n     и нажать ОК! ");
    ASSERT_TRUE(w.settle());
    EXPECT_EQ(w.controller->state().link_state, station::LINK_FREE);
    EXPECT_EQ(w.text(1043), " Ожидание старта или записи фонем в канал ");
}

TEST(Win32Window, AListViewHoldsAMillionEntriesWithTheLastOneSelected) {
    TempRoot root;
    DialrunWindow w("K1 ring line\n", root.path.string());
    // The lists are the form's: filled here as a long campaign fills them.
    auto& list = const_cast<station::TextList&>(w.controller->dialrun_form().notified_list);
    for (int i = 0; i < 1000000; ++i) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "%07d ", i);
        list.add(entry);
    }
    SendMessageW(w.window->dialog(), WM_TIMER, win32::LIST_TIMER, 0);
    list.add("9999999 ");
    SendMessageW(w.window->dialog(), WM_TIMER, win32::LIST_TIMER, 0);
    HWND view = w.control(1041);
    EXPECT_EQ(SendMessageW(view, LVM_GETITEMCOUNT, 0, 0), 1000001);
    EXPECT_EQ(SendMessageW(view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1000000);
    EXPECT_EQ(SendMessageW(view, LVM_GETSELECTEDCOUNT, 0, 0), 1) << "the one before is cleared";
    wchar_t text[16] = {};
    LVITEMW item{};
    item.pszText = text;
    item.cchTextMax = 16;
    SendMessageW(view, LVM_GETITEMTEXTW, 999999, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, L"0999999 ");
}
