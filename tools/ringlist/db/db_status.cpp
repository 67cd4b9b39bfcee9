// ringlist db status: each campaign's records by mark and its calls in the last hour; each
// rack's records held now and its last call.

#include "db/connection.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/db/db_overview.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

void print_campaigns(const std::vector<CampaignCount>& campaigns, std::ostream& out) {
    for (const CampaignCount& c : campaigns) {
        out << "Кампания \"" << c.name << "\": записей " << c.records;
        for (const auto& [mark, count] : c.marks) {
            // A blank mark is the record not called yet.
            out << ", " << (mark == ' ' ? std::string("без отметки") : std::string(1, mark)) << ": "
                << count;
        }
        out << "; звонков за последний час: " << c.calls_last_hour;
        if (c.used_up > 0) {
            out << "; звонки исчерпаны без результата: " << c.used_up;
        }
        out << "\n";
    }
    if (campaigns.empty()) {
        out << "Кампаний в базе нет\n";
    }
}

void print_racks(const std::vector<RackCount>& racks, std::ostream& out) {
    for (const RackCount& k : racks) {
        out << "Стойка \"" << k.name << "\": держит записей " << k.held << ", последний звонок "
            << (k.last_call.empty() ? std::string("не было") : k.last_call + " UTC") << "\n";
    }
}

}  // namespace

int db_status(const std::string& connection, std::ostream& out) {
    core::DbConnection db;
    CampaignOverview overview;
    std::string error = open_campaign_db(db, connection);
    if (error.empty()) {
        error = read_overview(db, overview);
    }
    db.rollback();
    if (!error.empty()) {
        out << error << "\n";
        return REFUSED;
    }
    print_campaigns(overview.campaigns, out);
    print_racks(overview.racks, out);
    return DONE;
}

}  // namespace ringlist
