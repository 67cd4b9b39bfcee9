#include "ringlist/serve/site.h"

#include "ringlist/serve/server.h"

#include <algorithm>
#include <cctype>

namespace ringlist {

namespace {

// Compares in a time that does not tell how much of a guess was right.
bool same_secret(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        differ |= static_cast<unsigned char>(a[i] ^ b[i % (b.empty() ? 1 : b.size())]);
    }
    return differ == 0 && !b.empty();
}

// The value of name in "a=1; b=2" (cookies, separator ';') or "a=1&b=2" (a query, '&').
std::string pair_value(const std::string& text, char separator, const std::string& name) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = std::min(text.find(separator, at), text.size());
        std::string pair = text.substr(at, end - at);
        size_t first = pair.find_first_not_of(' ');
        pair = first == std::string::npos ? "" : pair.substr(first);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) {
            return pair.substr(name.size() + 1);
        }
        at = end + 1;
    }
    return {};
}

// "%41" is "A": a token in a link may be written so.
std::string percent_decoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

Reply text_reply(int status, const std::string& text) {
    Reply r;
    r.status = status;
    r.body = text + "\n";
    return r;
}

bool all_digits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// "Bearer KEY", the scheme in any letter case, as HTTP has it.
std::string bearer_token(const std::string& authorization) {
    const std::string scheme = "bearer";
    if (authorization.size() <= scheme.size() + 1 || authorization[scheme.size()] != ' ') {
        return {};
    }
    for (size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(authorization[i])) != scheme[i]) {
            return {};
        }
    }
    size_t start = authorization.find_first_not_of(' ', scheme.size());
    return start == std::string::npos ? "" : authorization.substr(start);
}

}  // namespace

bool loopback_host(const std::string& host) {
    std::string name = host;
    std::string port;
    if (!name.empty() && name.front() == '[') {
        size_t close = name.find(']');
        if (close == std::string::npos) {
            return false;
        }
        port = name.substr(close + 1);
        name = name.substr(1, close - 1);
        if (!port.empty() && (port[0] != ':' || !all_digits(port.substr(1)))) {
            return false;
        }
        return loopback_address(name) && name.find(':') != std::string::npos;
    }
    size_t colon = name.find(':');
    if (colon != std::string::npos) {
        if (!all_digits(name.substr(colon + 1))) {
            return false;
        }
        name = name.substr(0, colon);
    }
    std::string lower;
    for (char c : name) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower == "localhost" || lower == "localhost." ||
           (loopback_address(name) && name.find(':') == std::string::npos);
}

bool Site::admitted(const Request& request) const {
    if (token_.empty()) {
        return true;
    }
    if (same_secret(bearer_token(request.authorization), token_)) {
        return true;
    }
    return same_secret(pair_value(request.cookie, ';', cookie_), token_);
}

Reply Site::answer(const Request& request, Summary::Clock::time_point now) {
    size_t mark = request.target.find('?');
    std::string path = request.target.substr(0, mark);
    std::string query = mark == std::string::npos ? "" : request.target.substr(mark + 1);
    Reply reply;
    if (token_.empty() && !loopback_host(request.host)) {
        return text_reply(421, "Без ключа страница открывается только как http://127.0.0.1:ПОРТ/");
    }
    if (!admitted(request)) {
        // The link with the token, opened once, leaves it in a cookie and out of the address.
        std::string given = path == "/" ? percent_decoded(pair_value(query, '&', "token")) : "";
        if (given.empty() || !same_secret(given, token_)) {
            return text_reply(401, "Нужен ключ доступа: откройте ссылку с ?token=...");
        }
        reply.status = 303;
        reply.headers.push_back({"Location", "/"});
        reply.headers.push_back(
            {"Set-Cookie", cookie_ + "=" + token_ + "; HttpOnly; SameSite=Strict; Path=/"});
        return reply;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        reply = text_reply(405, "Только чтение: GET и HEAD");
        reply.headers.push_back({"Allow", "GET, HEAD"});
        return reply;
    }
    if (campaign_ != nullptr) {
        return campaign_reply(path, now);
    }
    if (path == "/") {
        reply.content_type = "text/html; charset=utf-8";
        reply.body = PAGE_HTML;
    } else if (path == "/app.js") {
        reply.content_type = "text/javascript; charset=utf-8";
        reply.body = PAGE_SCRIPT;
    } else if (path == "/api/summary") {
        reply.content_type = "application/json; charset=utf-8";
        reply.body = summary_->text(now);
    } else if (path == "/metrics") {
        reply.content_type = "text/plain; version=0.0.4; charset=utf-8";
        reply.body = summary_->metrics(now);
    } else {
        return text_reply(404, "Нет такой страницы");
    }
    return reply;
}

Reply Site::campaign_reply(const std::string& path, Summary::Clock::time_point now) {
    Reply reply;
    if (path == "/") {
        reply.content_type = "text/html; charset=utf-8";
        reply.body = campaign_->page(now);
    } else if (path == "/metrics") {
        reply.content_type = "text/plain; version=0.0.4; charset=utf-8";
        reply.body = campaign_->metrics(now);
    } else {
        return text_reply(404, "Нет такой страницы");
    }
    return reply;
}

}  // namespace ringlist
