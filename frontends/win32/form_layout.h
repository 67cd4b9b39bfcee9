#pragma once

#include <windows.h>

namespace win32 {

// How the program's form sits in its frame, whatever the screen and its scale.

// The program's form inside its frame. A frame smaller than the form (a small or scaled
// screen, or the operator's resizing) gets scroll bars, as the Qt window does, so that every
// control can be reached: with the bars, the wheel, and Tab to a control out of sight. A
// frame as large as the form shows none, and the form sits at its top left corner.
class FormScroll {
  public:
    FormScroll(HWND frame, HWND form) : frame_(frame), form_(form) {}
    // The bars for the frame's size now: after it was made or resized.
    void fit();
    // What a scroll bar's part asks for (SB_LINEUP ... SB_BOTTOM), or the wheel (request -1).
    void scroll(int bar, int request, int wheel_delta);
    // The control, where the focus went, scrolled into sight.
    void show(HWND control);

  private:
    void place_form();

    HWND frame_;
    HWND form_;
};

// A group box's title is drawn over its top edge, where Qt's stands above it: a box narrower
// than its title grows to it.
void fit_group_titles(HWND form);

}  // namespace win32
