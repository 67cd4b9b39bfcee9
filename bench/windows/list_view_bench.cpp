// Dialrun's list views with a million entries: the time to show one more entry and select it,
// with the list view clearing the old selection itself (LVS_SINGLESEL) and with the front end
// clearing the one it selected (as DialogBinding does), side by side.
//   xvfb-run -a scripts/wine-run build/windows/bench/windows/list_view_bench.exe

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>

namespace {

const int ENTRIES = 1000000;
const int UPDATES = 10;

LRESULT CALLBACK parent_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lparam)->code == LVN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lparam);
        if ((info->item.mask & LVIF_TEXT) != 0) {
            _snwprintf(info->item.pszText, info->item.cchTextMax, L"%07d ", info->item.iItem);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void set_state(HWND view, int item, UINT state) {
    LVITEMW change{};
    change.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    change.state = state;
    SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&change));
}

// Mean microseconds to show one more entry and select it.
double measure(HWND parent, bool single_selection) {
    DWORD style = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER |
                  LVS_SHOWSELALWAYS | (single_selection ? LVS_SINGLESEL : 0);
    HWND view = CreateWindowExW(0, WC_LISTVIEWW, L"", style, 0, 0, 200, 600, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 180;
    SendMessageW(view, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    int count = ENTRIES;
    SendMessageW(view, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    set_state(view, count - 1, LVIS_SELECTED | LVIS_FOCUSED);
    auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < UPDATES; ++k) {
        ++count;
        SendMessageW(view, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        if (!single_selection) {
            set_state(view, count - 2, 0);
        }
        set_state(view, count - 1, LVIS_SELECTED | LVIS_FOCUSED);
        SendMessageW(view, LVM_ENSUREVISIBLE, static_cast<WPARAM>(count - 1), FALSE);
        UpdateWindow(view);
    }
    auto took = std::chrono::steady_clock::now() - start;
    DestroyWindow(view);
    return std::chrono::duration<double, std::micro>(took).count() / UPDATES;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW parent_class{};
    parent_class.lpfnWndProc = parent_procedure;
    parent_class.hInstance = GetModuleHandleW(nullptr);
    parent_class.lpszClassName = L"ListViewBench";
    RegisterClassW(&parent_class);
    HWND parent = CreateWindowW(L"ListViewBench", L"list view bench", WS_OVERLAPPEDWINDOW, 0, 0,
                                240, 640, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(parent, SW_SHOW);
    double ours = measure(parent, false);
    double single = measure(parent, true);
    std::printf("list view, %d entries, one more shown and selected (mean of %d):\n", ENTRIES,
                UPDATES);
    std::printf("  LVS_SINGLESEL clears the old selection:  %10.0f us\n", single);
    std::printf("  the front end clears the one it selected: %10.0f us\n", ours);
    std::printf("  ratio: %.0f x\n", single / ours);
    DestroyWindow(parent);
    return 0;
}
