#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "ringlist/db/db_overview.h"

namespace ringlist {

// What the database said at one look: its counts, or why it could not be read.
struct CampaignLook {
    bool up = false;
    std::string error;  // "Нет связи с базой кампании..." when not up
    CampaignOverview overview;
};

// The campaign database as ringlist serve --db shows it: read afresh for a request, at most
// once a second however many ask, on a connection of its own each time, so that a server that
// went away and came back is simply read again.
class CampaignView {
  public:
    using Clock = std::chrono::steady_clock;

    explicit CampaignView(std::string connection) : connection_(std::move(connection)) {}
    // The page, every count on it as text; no number or amount of a subscriber.
    std::string page(Clock::time_point now);
    // The same in Prometheus' text format, with boardrack_campaign_db_up.
    std::string metrics(Clock::time_point now);

  private:
    CampaignLook look(Clock::time_point now);

    std::string connection_;
    std::mutex mutex_;  // one look at a time; the others take its answer
    CampaignLook last_;
    Clock::time_point last_at_{};
    bool looked_ = false;
};

// The page and the metrics of one look; server_time is said on the page when the database
// answered.
std::string campaign_page(const CampaignLook& look);
std::string campaign_metrics(const CampaignLook& look);

}  // namespace ringlist
