#include "win32/message_box.h"

#include "base/utf8_text.h"

namespace win32 {

void show_message_box(HWND owner, const std::string& caption, const std::string& text, UINT icon) {
    MessageBoxW(owner, core::to_utf16(text).c_str(), core::to_utf16(caption).c_str(), MB_OK | icon);
}

}  // namespace win32
