#pragma once

#include <string>
#include <utility>
#include <vector>

namespace core {
class DbConnection;
}

namespace ringlist {

// What the campaign database holds, counted: db status prints it, serve --db shows it. Counts
// and times only, never a subscriber's number or amount.
struct CampaignCount {
    std::string name;
    long long records = 0;
    std::vector<std::pair<char, long long>> marks;  // by mark, ' ' (not called yet) first
    long long calls_last_hour = 0;  // results of the last hour by the server's clock
    // Blank records whose calls are used up without a verdict, none of them under way: no rack
    // calls them again.
    long long used_up = 0;
};

struct RackCount {
    std::string name;
    long long held = 0;     // records whose lease has not run out
    std::string last_call;  // "YYYY-MM-DD HH:MM:SS" UTC, "" when it has made none
    long long last_call_epoch = 0;
    std::string last_seen;  // "YYYY-MM-DD HH:MM:SS" UTC, "" when it has never asked
    long long last_seen_epoch = 0;
    bool seen_lately = false;  // asked for a record within the last two minutes
};

struct CampaignOverview {
    std::vector<CampaignCount> campaigns;  // by name
    std::vector<RackCount> racks;          // by name
    std::string server_time;               // the database's now(), "YYYY-MM-DD HH:MM:SS" UTC
};

// Reads the overview in one look. Returns "" or why not.
std::string read_overview(core::DbConnection& db, CampaignOverview& overview);

// Records with a mark Dialrun does not call again (any but blank), as a whole percentage of
// all: a campaign called to its end is 100.
long long percent_done(const CampaignCount& campaign);

}  // namespace ringlist
