#include "ringlist/serve/summary.h"

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "base/utf8_text.h"
#include "time/clock.h"

namespace ringlist {

namespace {

using nlohmann::json;

constexpr auto STALE_AFTER = std::chrono::minutes(2);
const char* const STATES[] = {"idle", "running", "paused", "reconnecting", "ended"};
const char* const MARK_NAMES[MARK_KINDS] = {"uncalled", "Y", "Z", "N", "S", "X", "other"};

// Results of the last hour by this PC's clock: what the rack has done lately.
long long calls_last_hour(const std::vector<int64_t>& results) {
    int64_t now = core::calendar_seconds(core::local_time_at(std::time(nullptr)));
    auto from = std::lower_bound(results.begin(), results.end(), now - 3600);
    auto to = std::upper_bound(results.begin(), results.end(), now);
    return to > from ? to - from : 0;
}

// Each program's status with "stale" by this server's clock: the PCs' clocks may differ, so
// its own times are not compared with ours.
json status_json(const FolderView& view, std::chrono::steady_clock::time_point now) {
    if (view.status.empty()) {
        return nullptr;
    }
    json status = json::object();
    for (const auto& [program, seen] : view.status) {
        json one = seen.json;
        one["stale"] = now - seen.changed >= STALE_AFTER;
        status[program] = one;
    }
    return status;
}

}  // namespace

// A label's value as Prometheus reads it: backslash, quote and line feed escaped.
std::string prometheus_label(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return "\"" + out + "\"";
}

void prometheus_family(std::string& out, const char* name, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

Summary::Summary(std::vector<std::filesystem::path> folders, FileReader reader,
                 std::chrono::milliseconds patience)
    : patience_(patience) {
    for (auto& folder : folders) {
        watches_.push_back(FolderWatch::start(std::move(folder), reader));
    }
}

Summary::~Summary() {
    for (auto& watch : watches_) {
        watch->ask_to_stop();
    }
    auto deadline = Clock::now() + patience_;
    for (auto& watch : watches_) {
        watch->stop(deadline);
    }
}

// Every folder asked at once, then each awaited until one deadline: a folder that hangs costs a
// request its patience once, not once per folder.
std::vector<Summary::Seen> Summary::look(Clock::time_point now) {
    std::vector<uint64_t> tickets;
    for (auto& watch : watches_) {
        tickets.push_back(watch->ask(now));
    }
    auto deadline = Clock::now() + patience_;
    std::vector<Seen> seen;
    for (size_t i = 0; i < watches_.size(); ++i) {
        Seen s{watches_[i]->dir(), nullptr, false};
        s.view = watches_[i]->view(tickets[i], deadline, patience_, s.answering);
        seen.push_back(std::move(s));
    }
    return seen;
}

std::string Summary::text(Clock::time_point now) {
    std::string text = "{\"folders\": [";
    bool first = true;
    for (const Seen& s : look(now)) {
        const auto dump = [](const json& j) {
            return j.dump(-1, ' ', false, json::error_handler_t::replace);
        };
        text += first ? "{" : ", {";
        first = false;
        text += "\"name\": " + dump(core::path_utf8(s.dir));
        if (!s.view->error.empty()) {
            text += ", \"error\": " + dump(s.view->error);
        } else if (s.view->counts.empty()) {
            text += ", \"error\": " + dump("Папка ещё не прочитана");
        } else {
            text += ", " + s.view->counts +
                    ", \"calls_last_hour\": " + std::to_string(calls_last_hour(s.view->results));
        }
        text += ", \"status\": " + dump(status_json(*s.view, now));
        text += std::string(", \"responding\": ") + (s.answering ? "true" : "false") + "}";
    }
    return text + "]}\n";
}

std::string Summary::metrics(Clock::time_point now) {
    std::vector<Seen> seen = look(now);
    std::string out;
    prometheus_family(out, "boardrack_records",
                      "Records of the list by mark (uncalled: not called yet).");
    for (const Seen& s : seen) {
        if (!s.view->counts.empty() && s.view->error.empty()) {
            for (int k = 0; k < MARK_KINDS; ++k) {
                out += "boardrack_records{folder=" + prometheus_label(core::path_utf8(s.dir)) +
                       ",mark=" + prometheus_label(MARK_NAMES[k]) + "} " +
                       std::to_string(s.view->totals[k].records) + "\n";
            }
        }
    }
    prometheus_family(out, "boardrack_calls_last_hour", "Results logged in the last hour.");
    for (const Seen& s : seen) {
        if (!s.view->counts.empty() && s.view->error.empty()) {
            out += "boardrack_calls_last_hour{folder=" + prometheus_label(core::path_utf8(s.dir)) +
                   "} " + std::to_string(calls_last_hour(s.view->results)) + "\n";
        }
    }
    prometheus_family(out, "boardrack_program_state",
                      "1 for the state the program's status file says.");
    for (const Seen& s : seen) {
        for (const auto& [program, status] : s.view->status) {
            std::string state = status.json.value("state", json()).is_string()
                                    ? status.json["state"].get<std::string>()
                                    : "";
            for (const char* known : STATES) {
                out +=
                    "boardrack_program_state{folder=" + prometheus_label(core::path_utf8(s.dir)) +
                    ",program=" + prometheus_label(program) + ",state=" + prometheus_label(known) +
                    "} " + (state == known ? "1" : "0") + "\n";
            }
        }
    }
    // A folder that cannot be read stays in sight: its records are gone, not its name.
    prometheus_family(
        out, "boardrack_folder_error",
        "1 while the folder cannot be read (its list missing or unreadable), else 0.");
    for (const Seen& s : seen) {
        bool failed = !s.view->error.empty() || s.view->counts.empty();
        out += "boardrack_folder_error{folder=" + prometheus_label(core::path_utf8(s.dir)) + "} " +
               (failed ? "1" : "0") + "\n";
    }
    prometheus_family(
        out, "boardrack_status_age_seconds",
        "Seconds since the program's status file last changed, by this server's clock.");
    for (const Seen& s : seen) {
        for (const auto& [program, status] : s.view->status) {
            auto age = std::chrono::duration_cast<std::chrono::seconds>(now - status.changed);
            out +=
                "boardrack_status_age_seconds{folder=" + prometheus_label(core::path_utf8(s.dir)) +
                ",program=" + prometheus_label(program) + "} " +
                std::to_string(std::max<long long>(0, age.count())) + "\n";
        }
    }
    return out;
}

}  // namespace ringlist
