#include "db/connection_string.h"

#include <algorithm>
#include <cctype>

namespace core {

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// libpq's own options may carry a password too (pqopt={password=... sslpassword=...}): its
// value, quoted or up to a blank or the closing brace, stands as "***".
std::string without_libpq_password(const std::string& raw) {
    std::string shown;
    std::string folded = lower(raw);
    size_t at = 0;
    for (size_t found; (found = folded.find("password", at)) != std::string::npos;) {
        size_t eq = raw.find_first_not_of(" \t", found + 8);
        size_t start = eq == std::string::npos || raw[eq] != '='
                           ? std::string::npos
                           : raw.find_first_not_of(" \t", eq + 1);
        if (start == std::string::npos) {
            shown += raw.substr(at, found + 8 - at);
            at = found + 8;
            continue;
        }
        size_t end = start;
        if (raw[start] == '\'') {
            for (++end; end < raw.size() && raw[end] != '\''; ++end) {
                end += raw[end] == '\\' ? 1 : 0;
            }
            end = std::min(end + 1, raw.size());
        } else {
            while (end < raw.size() && raw[end] != ' ' && raw[end] != '\t') {
                if (raw[end] == '}' && (end + 1 >= raw.size() || raw[end + 1] != '}')) {
                    break;  // the brace that closes pqopt's value
                }
                end += raw[end] == '}' ? 2 : 1;
            }
        }
        shown += raw.substr(at, start - at) + "***";
        at = std::min(end, raw.size());
    }
    return shown + raw.substr(at);
}

}  // namespace

std::string connection_value(const std::string& connection, const std::string& key) {
    std::string wanted = lower(key);
    size_t at = 0;
    while (at < connection.size()) {
        size_t eq = connection.find('=', at);
        if (eq == std::string::npos) {
            break;
        }
        std::string name = lower(trimmed(connection.substr(at, eq - at)));
        size_t start = eq + 1;
        while (start < connection.size() && connection[start] == ' ') {
            ++start;
        }
        std::string value;
        size_t end = 0;
        if (start < connection.size() && connection[start] == '{') {
            // "}}" stands for one "}" inside braces.
            end = start + 1;
            while (end < connection.size()) {
                if (connection[end] == '}' && end + 1 < connection.size() &&
                    connection[end + 1] == '}') {
                    value += '}';
                    end += 2;
                } else if (connection[end] == '}') {
                    ++end;
                    break;
                } else {
                    value += connection[end++];
                }
            }
            end = connection.find(';', end);
        } else {
            end = connection.find(';', start);
            value = trimmed(connection.substr(
                start, end == std::string::npos ? std::string::npos : end - start));
        }
        if (name == wanted) {
            return value;
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return "";
}

std::string without_password(const std::string& connection) {
    std::string shown;
    size_t at = 0;
    while (at < connection.size()) {
        size_t eq = connection.find('=', at);
        if (eq == std::string::npos) {
            return shown + connection.substr(at);
        }
        std::string name = lower(trimmed(connection.substr(at, eq - at)));
        size_t end = eq + 1;
        while (end < connection.size() && connection[end] == ' ') {
            ++end;
        }
        if (end < connection.size() && connection[end] == '{') {
            // A value in braces may hold ";"; "}}" is one "}" inside it.
            for (++end; end < connection.size(); ++end) {
                if (connection[end] == '}' && end + 1 < connection.size() &&
                    connection[end + 1] == '}') {
                    ++end;
                } else if (connection[end] == '}') {
                    ++end;
                    break;
                }
            }
        }
        end = connection.find(';', end);
        bool secret = name == "pwd" || name == "password";
        std::string value =
            connection.substr(eq + 1, end == std::string::npos ? std::string::npos : end - eq - 1);
        shown +=
            connection.substr(at, eq + 1 - at) + (secret            ? "***"
                                                  : name == "pqopt" ? without_libpq_password(value)
                                                                    : value);
        if (end == std::string::npos) {
            break;
        }
        shown += ';';
        at = end + 1;
    }
    return shown;
}

std::string with_silence_noticed(const std::string& connection) {
    if (!connection_value(connection, "pqopt").empty()) {
        return connection;
    }
    // Data unacknowledged for 30 s, or an idle connection with three keepalives unanswered,
    // ends the connection: the rack pauses and connects again, as after a reset. The server is
    // asked the same of its end (an answer it sent that is never acknowledged included), so
    // that a rack cut off lets go of its session, and with it of its name, in about a minute
    // rather than after TCP's quarter of an hour or the system's two hours.
    std::string guard =
        "pqopt={tcp_user_timeout=30000 keepalives=1 keepalives_idle=30 keepalives_interval=10 "
        "keepalives_count=3 options='-c tcp_keepalives_idle=30 -c tcp_keepalives_interval=10 "
        "-c tcp_keepalives_count=3 -c tcp_user_timeout=30000'};";
    size_t last = connection.find_last_not_of(" \t");
    bool closed = last == std::string::npos || connection[last] == ';';
    return closed ? connection + guard : connection + ";" + guard;
}

std::string server_name(const std::string& connection) {
    std::string server = connection_value(connection, "Server");
    if (server.empty()) {
        server = connection_value(connection, "Servername");
    }
    if (server.empty()) {
        std::string dsn = connection_value(connection, "DSN");
        return dsn.empty() ? "(сервер не указан)" : "DSN " + dsn;
    }
    std::string port = connection_value(connection, "Port");
    return port.empty() ? server : server + ":" + port;
}

}  // namespace core
