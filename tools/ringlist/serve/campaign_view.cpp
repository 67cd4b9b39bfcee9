#include "ringlist/serve/campaign_view.h"

#include "db/connection.h"
#include "ringlist/db/db_commands.h"

namespace ringlist {

namespace {

constexpr auto FRESH_FOR = std::chrono::seconds(1);
const std::string NO_LINK = "Нет связи с базой кампании";

CampaignLook read_database(const std::string& connection) {
    CampaignLook look;
    core::DbConnection db;
    std::string error = open_campaign_db(db, connection);
    if (error.empty()) {
        error = read_overview(db, look.overview);
        db.rollback();
    }
    look.up = error.empty();
    if (!look.up) {
        // The connection's own refusal names the server already; a failed query is said so.
        look.error = error.rfind(NO_LINK, 0) == 0 ? error : NO_LINK + ": " + error;
        look.overview = {};
    }
    return look;
}

}  // namespace

CampaignLook CampaignView::look(Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!looked_ || now - last_at_ >= FRESH_FOR || now < last_at_) {
        last_ = read_database(connection_);
        last_at_ = now;
        looked_ = true;
    }
    return last_;
}

std::string CampaignView::page(Clock::time_point now) {
    return campaign_page(look(now));
}

std::string CampaignView::metrics(Clock::time_point now) {
    return campaign_metrics(look(now));
}

}  // namespace ringlist
