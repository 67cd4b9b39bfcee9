#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// A refusal or a notice: a modal box with the text and an OK button, captioned with the
// program's name.
void show_message_box(HWND owner, const std::string& caption, const std::string& text,
                      UINT icon = 0);

}  // namespace win32
