#include "win32/form_layout.h"

#include <algorithm>

namespace win32 {

namespace {

// A click on a scroll bar's arrow, or a notch of the wheel (three of them), moves the form by
// this many pixels at 96 DPI.
const int SCROLL_LINE = 16;

}  // namespace

// A frame smaller than the form (a small or scaled screen, or the operator's resizing) shows
// scroll bars, as the Qt window does, so that every control can be reached; a frame as large
// as the form shows none and the form sits at its top left corner.
void FormScroll::fit() {
    RECT form{};
    GetWindowRect(form_, &form);
    int form_width = form.right - form.left;
    int form_height = form.bottom - form.top;
    // The client area as it would be without bars, then less the breadth of each bar needed:
    // a bar that appears may make the other one needed.
    RECT client{};
    GetClientRect(frame_, &client);
    LONG style = GetWindowLongW(frame_, GWL_STYLE);
    int width = client.right + ((style & WS_VSCROLL) != 0 ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    int height = client.bottom + ((style & WS_HSCROLL) != 0 ? GetSystemMetrics(SM_CYHSCROLL) : 0);
    bool across = form_width > width;
    bool down = form_height > height - (across ? GetSystemMetrics(SM_CYHSCROLL) : 0);
    across = form_width > width - (down ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    width -= down ? GetSystemMetrics(SM_CXVSCROLL) : 0;
    height -= across ? GetSystemMetrics(SM_CYHSCROLL) : 0;
    for (int bar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
        info.nMax = (bar == SB_HORZ ? form_width : form_height) - 1;
        info.nPage = static_cast<UINT>(bar == SB_HORZ ? width : height);
        SetScrollInfo(frame_, bar, &info, TRUE);
    }
    place_form();
}

// The form moved to where the scroll bars say (they keep their position within range).
void FormScroll::place_form() {
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(frame_, SB_HORZ, &info);
    int x = info.nPos;
    GetScrollInfo(frame_, SB_VERT, &info);
    SetWindowPos(form_, nullptr, -x, -info.nPos, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// What a scroll bar's part, or the wheel, asks for.
void FormScroll::scroll(int bar, int request, int wheel_delta) {
    SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(frame_, bar, &info);
    int line = MulDiv(SCROLL_LINE, static_cast<int>(GetDpiForWindow(frame_)), 96);
    int page = static_cast<int>(info.nPage);
    int position = info.nPos;
    switch (request) {
        case SB_LINEUP:
            position -= line;
            break;
        case SB_LINEDOWN:
            position += line;
            break;
        case SB_PAGEUP:
            position -= page;
            break;
        case SB_PAGEDOWN:
            position += page;
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            position = info.nTrackPos;
            break;
        case SB_TOP:
            position = info.nMin;
            break;
        case SB_BOTTOM:
            position = info.nMax;
            break;
        default:
            position -= wheel_delta * 3 * line / WHEEL_DELTA;
            break;
    }
    info.fMask = SIF_POS;
    info.nPos = position;
    SetScrollInfo(frame_, bar, &info, TRUE);  // clamped to the range
    place_form();
}

// A control reached with Tab below or beside the frame's edge is scrolled into view.
void FormScroll::show(HWND control) {
    if (control == nullptr || GetParent(control) != form_) {
        return;
    }
    RECT shown{};
    GetWindowRect(control, &shown);
    MapWindowPoints(nullptr, frame_, reinterpret_cast<POINT*>(&shown), 2);
    RECT client{};
    GetClientRect(frame_, &client);
    for (int bar : {SB_HORZ, SB_VERT}) {
        int low = bar == SB_HORZ ? shown.left : shown.top;
        int high = bar == SB_HORZ ? shown.right : shown.bottom;
        int size = bar == SB_HORZ ? client.right : client.bottom;
        SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
        GetScrollInfo(frame_, bar, &info);
        int by = low < 0 ? low : high > size ? std::min(high - size, low) : 0;
        if (by != 0) {
            info.nPos += by;
            SetScrollInfo(frame_, bar, &info, TRUE);
        }
    }
    place_form();
}

// A group box draws its title over its top edge, where Qt's sits above it: a title longer
// than its box ("Кол. номеров") would run over the box's corner, so the box grows to its
// title, to the right as far as the form allows, then to the left.
void fit_group_titles(HWND dialog) {
    RECT form{};
    GetClientRect(dialog, &form);
    HDC context = GetDC(dialog);
    HGDIOBJ font_before =
        SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    for (HWND box = GetWindow(dialog, GW_CHILD); box != nullptr;
         box = GetWindow(box, GW_HWNDNEXT)) {
        wchar_t title[64] = {};
        wchar_t kind[16] = {};
        GetClassNameW(box, kind, 16);
        if (lstrcmpiW(kind, L"Button") != 0 ||
            (GetWindowLongW(box, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX ||
            GetWindowTextW(box, title, 64) == 0) {
            continue;
        }
        SIZE text{};
        GetTextExtentPoint32W(context, title, lstrlenW(title), &text);
        RECT place{};
        GetWindowRect(box, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        // The title is drawn a few pixels in from each end, as a character's width is.
        int wanted = text.cx + 2 * GetSystemMetrics(SM_CXEDGE) + 2 * (text.cy / 2);
        int grow = wanted - (place.right - place.left);
        if (grow > 0) {
            int right = std::min<int>(form.right, place.right + grow);
            int left = std::max<int>(0, right - wanted);
            SetWindowPos(box, nullptr, left, place.top, right - left, place.bottom - place.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SelectObject(context, font_before);
    ReleaseDC(dialog, context);
}

}  // namespace win32
