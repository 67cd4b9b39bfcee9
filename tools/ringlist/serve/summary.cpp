#include "ringlist/serve/summary.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "base/utf8_text.h"
#include "files/durable_file.h"
#include "ringlist/campaign_folder.h"
#include "ringlist/report/report.h"

namespace ringlist {

namespace {

using nlohmann::json;

const char* const PROGRAMS[] = {"dialrun", "pinread", "inform"};
constexpr auto STALE_AFTER = std::chrono::minutes(2);

// Results of the last hour by this PC's clock: what the rack has done lately.
int calls_last_hour(const CampaignFolder& folder) {
    int64_t now = core::calendar_seconds(core::local_time_at(std::time(nullptr)));
    int calls = 0;
    for (const LogResult& r : folder.results) {
        core::LocalTime t;
        t.year = r.year;
        t.month = r.line.month;
        t.day = r.line.day;
        t.hour = r.line.hour;
        t.minute = r.line.minute;
        t.second = r.line.second;
        int64_t age = now - core::calendar_seconds(t);
        calls += age >= 0 && age <= 3600;
    }
    return calls;
}

json totals_json(const MarkTotals& totals) {
    const char* const names[MARK_KINDS] = {"uncalled", "Y", "Z", "N", "S", "X", "other"};
    json records = json::object();
    json amounts = json::object();
    for (int k = 0; k < MARK_KINDS; ++k) {
        records[names[k]] = totals[k].records;
        amounts[names[k]] = totals[k].amount;
    }
    return {{"records", records}, {"amounts", amounts}};
}

}  // namespace

Summary::Summary(std::vector<std::filesystem::path> folders) : folders_(std::move(folders)) {}

std::string Summary::text(Clock::time_point now) {
    std::string text = "{\"folders\": [";
    for (size_t i = 0; i < folders_.size(); ++i) {
        text += (i == 0 ? "" : ", ") + folder_json(folders_[i], now);
    }
    return text + "]}\n";
}

std::string Summary::folder_json(const std::filesystem::path& dir, Clock::time_point now) {
    json out;
    out["name"] = core::path_utf8(dir);
    CampaignFolder folder;
    std::string error = read_folder(dir, folder);
    if (!error.empty()) {
        out["error"] = error;
    } else {
        Report report = make_report({folder});
        const MarkTotals& t = report.folder_totals[0];
        long long records = static_cast<long long>(folder.records.size());
        long long done = t[MARK_Y].records + t[MARK_Z].records + t[MARK_N].records;
        out["records"] = records;
        out["notified"] = t[MARK_Y].records;
        out["not_notified"] = t[MARK_Z].records + t[MARK_N].records;
        out["excluded"] = t[MARK_X].records;
        out["dealt"] = t[MARK_S].records;
        out["left"] = t[UNCALLED].records;
        out["percent"] = records == 0 ? 0 : done * 100 / records;
        out["marks"] = totals_json(t);
        out["calls_last_hour"] = calls_last_hour(folder);
        out["problems"] = folder.log_problems.size() + folder.review.faults.size();
        out["charts"] = {{"timeline", timeline_chart(report)}, {"profile", profile_chart(report)}};
    }
    json status = nullptr;
    for (const char* program : PROGRAMS) {
        std::filesystem::path file = dir / (std::string("status-") + program + ".json");
        std::error_code ec;
        if (std::filesystem::exists(file, ec)) {
            status[program] = json::parse(status_json(file, now));
        }
    }
    out["status"] = status;
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The status file as its program wrote it, with "stale" by this server's clock: the PCs'
// clocks may differ, so its own times are not compared with ours.
std::string Summary::status_json(const std::filesystem::path& file, Clock::time_point now) {
    std::string error;
    std::string text = core::read_file_bytes(file, error);
    std::lock_guard lock(mutex_);
    Seen& seen = seen_[file];
    if (seen.changed == Clock::time_point{} || seen.text != text) {
        seen = {text, now};
    }
    json status = json::parse(text, nullptr, false);
    if (!error.empty() || status.is_discarded() || !status.is_object()) {
        status = {{"unreadable", error.empty() ? "не JSON" : error}};
    }
    status["stale"] = now - seen.changed >= STALE_AFTER;
    return status.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace ringlist
