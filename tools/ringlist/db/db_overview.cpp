// The counts of the campaign database that db status and serve --db show, read in one place.

#include "ringlist/db/db_overview.h"

#include <cstdlib>

#include "base/plain_text.h"
#include "db/connection.h"
#include "db/statement.h"

namespace ringlist {

namespace {

long long count_of(const core::DbValue& value) {
    long number = 0;
    return value && core::whole_number(*value, 0, 2147483647L, number) ? number : 0;
}

long long epoch_of(const core::DbValue& value) {
    return value ? std::strtoll(value->c_str(), nullptr, 10) : 0;
}

// "M=count" lines, one per mark, as the campaigns' query aggregates them.
std::vector<std::pair<char, long long>> marks_of(const std::string& text) {
    std::vector<std::pair<char, long long>> marks;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string entry = text.substr(at, end == std::string::npos ? end : end - at);
        if (entry.size() > 2) {
            marks.push_back({entry[0], count_of(entry.substr(2))});
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return marks;
}

std::string read_campaigns(core::DbConnection& db, std::vector<CampaignCount>& campaigns) {
    core::DbStatement select(db);
    std::string error = select.run(
        "SELECT c.name, "
        " (SELECT count(*) FROM records r WHERE r.campaign_id = c.id), "
        " (SELECT string_agg(m.mark || '=' || m.n, chr(10) ORDER BY m.mark) FROM "
        "  (SELECT mark, count(*) AS n FROM records r WHERE r.campaign_id = c.id GROUP BY mark) m),"
        " (SELECT count(*) FROM results s JOIN records r ON r.id = s.record_id "
        "  WHERE r.campaign_id = c.id AND s.utc > now() - interval '1 hour'), "
        " (SELECT count(*) FROM records r WHERE r.campaign_id = c.id AND r.mark = ' ' "
        "  AND r.calls >= greatest(c.retry, 1) "
        "  AND (r.held_by IS NULL OR r.held_until < now())) "
        "FROM campaigns c ORDER BY c.name");
    while (error.empty() && select.next(error)) {
        CampaignCount c;
        c.name = select.text(0, error).value_or("");
        c.records = count_of(select.text(1, error));
        c.marks = marks_of(select.text(2, error).value_or(""));
        c.calls_last_hour = count_of(select.text(3, error));
        c.used_up = count_of(select.text(4, error));
        campaigns.push_back(std::move(c));
    }
    return error;
}

std::string read_racks(core::DbConnection& db, std::vector<RackCount>& racks) {
    core::DbStatement select(db);
    std::string error = select.run(
        "SELECT k.name, "
        " (SELECT count(*) FROM records r WHERE r.held_by = k.id AND r.held_until > now()), "
        " (SELECT to_char(max(s.utc) AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') "
        "  FROM results s WHERE s.rack_id = k.id), "
        " (SELECT extract(epoch FROM max(s.utc))::bigint FROM results s WHERE s.rack_id = k.id), "
        " to_char(k.last_seen AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS'), "
        " extract(epoch FROM k.last_seen)::bigint, "
        " CASE WHEN k.last_seen > now() - interval '2 minutes' THEN 1 ELSE 0 END "
        "FROM racks k ORDER BY k.name");
    while (error.empty() && select.next(error)) {
        RackCount k;
        k.name = select.text(0, error).value_or("");
        k.held = count_of(select.text(1, error));
        k.last_call = select.text(2, error).value_or("");
        k.last_call_epoch = epoch_of(select.text(3, error));
        k.last_seen = select.text(4, error).value_or("");
        k.last_seen_epoch = epoch_of(select.text(5, error));
        k.seen_lately = select.text(6, error).value_or("0") == "1";
        racks.push_back(std::move(k));
    }
    return error;
}

std::string read_server_time(core::DbConnection& db, std::string& time) {
    core::DbStatement select(db);
    std::string error =
        select.run("SELECT to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS')");
    if (error.empty() && select.next(error)) {
        time = select.text(0, error).value_or("");
    }
    return error;
}

}  // namespace

std::string read_overview(core::DbConnection& db, CampaignOverview& overview) {
    overview = {};
    std::string error = read_server_time(db, overview.server_time);
    if (error.empty()) {
        error = read_campaigns(db, overview.campaigns);
    }
    if (error.empty()) {
        error = read_racks(db, overview.racks);
    }
    return error;
}

long long percent_done(const CampaignCount& campaign) {
    long long left = 0;
    for (const auto& [mark, count] : campaign.marks) {
        if (mark == ' ') {
            left += count;
        }
    }
    return campaign.records == 0 ? 0 : (campaign.records - left) * 100 / campaign.records;
}

}  // namespace ringlist
