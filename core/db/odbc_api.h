#pragma once

// The system's ODBC headers, for the wrapper's own files only: callers see none of them.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

namespace core {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC's wide text is UTF-16");

inline SQLWCHAR* wide_buffer(std::u16string& text) {
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

inline bool succeeded(SQLRETURN result) {
    return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO;
}

// Every diagnostic record of a handle, "[STATE] message; ...", as the driver and the server
// give them; "" when there are none.
std::string odbc_reason(SQLSMALLINT handle_type, SQLHANDLE handle);

}  // namespace core
