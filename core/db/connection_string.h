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

// The connection string with the driver told to notice a server gone silent. A cable pulled
// or a router down sends no reset: a statement would wait for TCP to give up (a quarter of an
// hour on Linux) and the rack would stand all that while, its leases running out. libpq's own
// options go through psqlODBC's pqopt, unless the string has a pqopt of its own.
std::string with_silence_noticed(const std::string& connection);

}  // namespace core
