#include <algorithm>

#include "db/odbc_api.h"
#include "db/wide_text.h"

namespace core {

std::string odbc_reason(SQLSMALLINT handle_type, SQLHANDLE handle) {
    std::string reason;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::u16string message(1024, u'\0');
        SQLSMALLINT length = 0;
        SQLRETURN result =
            SQLGetDiagRecW(handle_type, handle, record, state, &native, wide_buffer(message),
                           static_cast<SQLSMALLINT>(message.size()), &length);
        if (!succeeded(result)) {
            break;
        }
        message.resize(std::min<size_t>(static_cast<size_t>(length), message.size() - 1));
        // The server's messages come in lines ("...failed: ...\n\tIs the server running");
        // a message of ours is one line.
        std::string text;
        for (char c : utf16_to_utf8(message)) {
            bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
            if (!space) {
                text += c;
            } else if (!text.empty() && text.back() != ' ') {
                text += ' ';
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        std::u16string code(reinterpret_cast<const char16_t*>(state), 5);
        reason += (reason.empty() ? "" : "; ") + ("[" + utf16_to_utf8(code) + "] ") + text;
    }
    return reason;
}

}  // namespace core
