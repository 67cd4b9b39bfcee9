#pragma once

#include <string>

namespace core {

// A key's value in an ODBC connection string ("Server=db1;Port=5432;" or "DSN=campaign"): keys
// in any letter case, a value in braces may hold ";". "" when the key is not there.
std::string connection_value(const std::string& connection, const std::string& key);

// The server as a message names it: "HOST:PORT", "HOST", or "DSN NAME"; never the password.
std::string server_name(const std::string& connection);

// The connection string as it may be shown or logged: a password's value (Pwd=, Password=)
// stands as "***".
std::string without_password(const std::string& connection);

}  // namespace core
