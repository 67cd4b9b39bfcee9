#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ringlist/serve/campaign_view.h"
#include "ringlist/serve/summary.h"

namespace ringlist {

struct Request {
    std::string method;
    std::string target;
    std::string authorization;  // the Authorization header
    std::string cookie;         // the Cookie header
    std::string host;           // the Host header
};

struct Reply {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// What ringlist serve answers: its page, its script, /api/summary and /metrics, to GET and HEAD
// only, and with a token nothing at all to a request without it. No path is ever a file's. Without
// a token only a request for this PC by name is answered: a page elsewhere whose name was made to
// point at 127.0.0.1 must not read it in the supervisor's browser. With the campaign database
// (serve --db) it answers its page and /metrics from there instead of the folders.
class Site {
  public:
    Site(Summary& summary, std::string token) : summary_(&summary), token_(std::move(token)) {}
    Site(CampaignView& campaign, std::string token)
        : campaign_(&campaign), token_(std::move(token)) {}
    Reply answer(const Request& request, Summary::Clock::time_point now);
    // Two servers on one PC are one site to a browser, which keeps cookies by name and not
    // by port: each names its cookie after its port.
    void cookie_for_port(unsigned short port) {
        cookie_ = "ringlist_token_" + std::to_string(port);
    }

  private:
    bool admitted(const Request& request) const;
    Reply campaign_reply(const std::string& path, Summary::Clock::time_point now);

    Summary* summary_ = nullptr;
    CampaignView* campaign_ = nullptr;
    std::string token_;  // "" on loopback without --token-file
    std::string cookie_ = "ringlist_token";
};

// Whether a Host header names this PC: localhost, 127.x.x.x or [::1], with or without a port.
bool loopback_host(const std::string& host);

// The page and its script: no request to the network, text put in as text.
extern const char* const PAGE_HTML;
extern const char* const PAGE_SCRIPT;

}  // namespace ringlist
