#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ringlist/serve/summary.h"

namespace ringlist {

struct Request {
    std::string method;
    std::string target;
    std::string authorization;  // the Authorization header
    std::string cookie;         // the Cookie header
};

struct Reply {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// What ringlist serve answers: its page, its script and /api/summary, to GET and HEAD only,
// and with a token nothing at all to a request without it. No path is ever a file's.
class Site {
  public:
    Site(Summary& summary, std::string token) : summary_(summary), token_(std::move(token)) {}
    Reply answer(const Request& request, Summary::Clock::time_point now);

  private:
    bool admitted(const Request& request) const;

    Summary& summary_;
    std::string token_;  // "" on loopback without --token-file
};

// The page and its script: no request to the network, text put in as text.
extern const char* const PAGE_HTML;
extern const char* const PAGE_SCRIPT;

}  // namespace ringlist
