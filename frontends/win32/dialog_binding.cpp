#include "win32/dialog_binding.h"

#include <commctrl.h>

#include "base/utf8_text.h"

namespace win32 {

namespace {

void set_item_state(HWND view, int item, UINT state) {
    if (item < 0) {
        return;  // -1 would mean every entry
    }
    LVITEMW change{};
    change.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    change.state = state;
    SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&change));
}

}  // namespace

DialogBinding::DialogBinding(HWND dialog, const DialogSetup& setup)
    : dialog_(dialog), setup_(setup) {
    prepare_lists();
    for (const SpinBinding& spin : setup_.spins) {
        SendMessageW(control(spin.id), UDM_SETRANGE32, spin.low, spin.high);
    }
}

void DialogBinding::prepare_lists() {
    for (const ListBinding& list : setup_.lists) {
        HWND view = control(list.id);
        RECT area{};
        GetClientRect(view, &area);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        // Room kept for the vertical scroll bar, so that its coming gives no horizontal one.
        column.cx = area.right - area.left - GetSystemMetrics(SM_CXVSCROLL);
        SendMessageW(view, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        SendMessageW(view, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                     LVS_EX_FULLROWSELECT);
        shown_sizes_[list.id] = 0;
        shown_selections_[list.id] = -1;
    }
}

void DialogBinding::refresh(const station::FormModel& model) {
    const station::FormControls& ids = setup_.controls;
    set_text(ids.status, model.status_text);
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        set_check(ids.radio[k], model.channel_radio == k);
        set_check(ids.channel_box[k], model.channel_box[k] != 0);
        set_check(ids.line_box[k], model.line_box[k] != 0);
        set_text(ids.mode_text[k], model.mode_text[k]);
    }
}

void DialogBinding::set_text(int id, const std::string& utf8) {
    auto it = texts_.find(id);
    if (it != texts_.end() && it->second == utf8) {
        return;
    }
    texts_[id] = utf8;
    SetDlgItemTextW(dialog_, id, core::to_utf16(utf8).c_str());
}

void DialogBinding::set_check(int id, bool on) {
    CheckDlgButton(dialog_, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void DialogBinding::set_progress(int id, int percent) {
    SendMessageW(control(id), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void DialogBinding::set_spin(int id, int value) {
    SendMessageW(control(id), UDM_SETPOS32, 0, value);
}

namespace {

// A list box scrolls sideways only as far as it is told: as far as its widest line.
void widen_to(HWND list, const std::wstring& text) {
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    LONG width = size.cx + 2 * GetSystemMetrics(SM_CXEDGE);
    if (width > static_cast<LONG>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0))) {
        SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
    }
}

}  // namespace

void DialogBinding::add_log_line(const std::string& line, bool selected) {
    HWND log = control(setup_.controls.log);
    std::wstring text = core::to_utf16(line);
    widen_to(log, text);
    LRESULT row = SendMessageW(log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (selected && row >= 0) {
        SendMessageW(log, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
}

void DialogBinding::clear_log() {
    SendMessageW(control(setup_.controls.log), LB_RESETCONTENT, 0, 0);
    SendMessageW(control(setup_.controls.log), LB_SETHORIZONTALEXTENT, 0, 0);
}

void DialogBinding::lists_changed() {
    if (!lists_pending_ && !setup_.lists.empty()) {
        lists_pending_ = true;
        SetTimer(dialog_, LIST_TIMER, 100, nullptr);
    }
}

void DialogBinding::apply_lists() {
    KillTimer(dialog_, LIST_TIMER);
    lists_pending_ = false;
    for (const ListBinding& list : setup_.lists) {
        HWND view = control(list.id);
        int size = static_cast<int>(list.list->size());
        if (size != shown_sizes_[list.id]) {
            // A list emptied for a run started again is drawn anew.
            LPARAM redraw = size < shown_sizes_[list.id] ? 0 : LVSICF_NOINVALIDATEALL;
            shown_sizes_[list.id] = size;
            SendMessageW(view, LVM_SETITEMCOUNT, static_cast<WPARAM>(size),
                         redraw | LVSICF_NOSCROLL);
        }
        int selection = list.list->selection();
        int shown = shown_selections_[list.id];
        if (selection >= 0 && selection != shown) {
            shown_selections_[list.id] = selection;
            set_item_state(view, shown, 0);
            set_item_state(view, selection, LVIS_SELECTED | LVIS_FOCUSED);
            SendMessageW(view, LVM_ENSUREVISIBLE, static_cast<WPARAM>(selection), FALSE);
        }
    }
}

bool DialogBinding::list_entry_text(NMLVDISPINFOW& info) {
    for (const ListBinding& list : setup_.lists) {
        if (static_cast<int>(info.hdr.idFrom) != list.id) {
            continue;
        }
        size_t row = static_cast<size_t>(info.item.iItem);
        if ((info.item.mask & LVIF_TEXT) != 0 && row < list.list->size()) {
            std::string_view entry = list.list->at(row);
            entry_text_ = core::to_utf16(std::string(entry));
            lstrcpynW(info.item.pszText, entry_text_.c_str(), info.item.cchTextMax);
        }
        return true;
    }
    return false;
}

}  // namespace win32
