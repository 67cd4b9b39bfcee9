// The shared campaign's hand-out against a PostgreSQL of its own on loopback, with durable
// commits (fsync and synchronous_commit on): 8 racks of 8 channels take records and send their
// verdicts as fast as the server lets them, beside what one rack's file mode does for a record
// on the same disk (the call counted in the attempts file, the result logged, the list marked,
// each synced).
//
// As Dialrun will: one connection per rack, its channels' hand-outs and verdicts taking turns on
// it. --per-channel gives each channel a connection of its own instead, for comparison.
//
// First the channels go flat out (the most the server gives), then, on a second campaign, each
// asks at a steady pace, together --rate hand-outs a second: the latency a channel sees at that
// load, not the queue of a flood.
//
//   campaign_db_bench [--records N] [--rate R] [--paced-records N] [--file-records N]
//                     [--per-channel] [--analyze] [--partial-index]
//
// --analyze and --partial-index are experiments on the hand-out's plan: the schema has neither.

#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/system_reason.h"
#include "campaign/db/shared_campaign.h"
#include "campaign/result_log.h"
#include "campaign/retry_rounds.h"
#include "campaign/subscriber_list.h"
#include "db/connection.h"
#include "db/statement.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/ringlist_commands.h"
#include "support/postgres_server.h"
#include "time/clock.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int RACKS = 8;
constexpr int CHANNELS = 8;
// Thirty racks of 3,000 calls a day each, within a 12-hour calling window.
constexpr double NEEDED_PER_SECOND = 30.0 * 3000 / (12 * 3600);

struct Options {
    int records = 20000;
    double rate = 200;
    int paced_records = 6000;
    int file_records = 2000;
    bool per_channel = false;
    bool analyze = false;        // the planner's statistics taken right after the push
    bool partial_index = false;  // an index of the fresh records alone, beside the schema's
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--records" && i + 1 < argc) {
            o.records = std::atoi(argv[++i]);
        } else if (arg == "--rate" && i + 1 < argc) {
            o.rate = std::atof(argv[++i]);
        } else if (arg == "--paced-records" && i + 1 < argc) {
            o.paced_records = std::atoi(argv[++i]);
        } else if (arg == "--file-records" && i + 1 < argc) {
            o.file_records = std::atoi(argv[++i]);
        } else if (arg == "--partial-index") {
            o.partial_index = true;
        } else if (arg == "--analyze") {
            o.analyze = true;
        } else if (arg == "--per-channel") {
            o.per_channel = true;
        } else {
            return false;
        }
    }
    return o.records > 0 && o.rate > 0 && o.paced_records > 0 && o.file_records > 0;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// A list of Ring.TXT's 20-byte records, all fresh, closed by its empty line.
std::string list_of(int count) {
    std::string list;
    char line[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "%07d  %7d  \r\n", 3000000 + i, 100 + i % 9000);
        list += line;
    }
    return list + "\r\n";
}

bool write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    return !out.fail();
}

// The first column of each row of a query; the error is said and nothing returned on failure.
std::vector<std::string> column(const std::string& conn, const std::string& sql,
                                const std::vector<core::DbValue>& values = {}) {
    core::DbConnection db;
    std::vector<std::string> found;
    std::string error = db.open(conn);
    core::DbStatement statement(db);
    if (error.empty()) {
        error = statement.run(sql, values);
    }
    while (error.empty() && statement.next(error)) {
        core::DbValue value = statement.text(0, error);
        found.push_back(value.value_or("NULL"));
    }
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), error.c_str());
        return {};
    }
    error = db.commit();
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), error.c_str());
    }
    return found;
}

std::string first(const std::vector<std::string>& rows) {
    return rows.empty() ? "?" : rows.front();
}

// The list pushed as ringlist db push does (retry 1: a record is called once).
bool push_campaign(const std::string& conn, const std::string& campaign, int records) {
    char name[] = "/tmp/boardrack-dbbench-list-XXXXXX";
    if (::mkdtemp(name) == nullptr) {
        std::perror("mkdtemp");
        return false;
    }
    fs::path dir = name;
    std::ostringstream said;
    ringlist::DbPushOptions options;
    options.dir = dir;
    options.campaign = campaign;
    bool done = write_file(dir / "Ring.TXT", list_of(records)) &&
                ringlist::db_push(conn, options, said) == ringlist::DONE;
    if (!done) {
        std::fprintf(stderr, "db push failed:\n%s\n", said.str().c_str());
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return done;
}

// One connection to the campaign, and the turns its channels take on it.
struct Connection {
    campaign::SharedCampaign campaign;
    std::mutex turn;
};

// How the channels ask: flat out (no period), or each at its own steady pace.
struct Pace {
    Clock::time_point start;
    Clock::duration period{};  // between two hand-outs of one channel
    Clock::duration phase{};   // this channel's first, so that the channels spread out
};

// What one channel measured.
struct ChannelFigures {
    std::vector<double> hand_out_ms;  // as the channel waits for it: its turn included
    std::vector<double> server_ms;    // the hand-out's own transaction
    std::vector<long> order;          // which hand-out of the campaign each was, from 0
    std::vector<double> send_ms;      // its turn included
    long none = 0;                    // hand-outs that found only records under way
    std::string failure;
};

// Nothing is due while the last records are under way, on this rack's other channels or on
// other racks: the channel waits, as it would for a call.
bool under_way(campaign::HandOut got) {
    return got == campaign::HandOut::other_racks || got == campaign::HandOut::retry_gap;
}

// A hand-out; true with a record in taken, false when the channel is done.
bool take(Connection& connection, campaign::SharedRecord& taken, std::atomic<long>& handed,
          ChannelFigures& f) {
    for (;;) {
        std::string error;
        Clock::time_point asked = Clock::now();
        campaign::HandOut got;
        double server = 0;
        {
            std::lock_guard<std::mutex> turn(connection.turn);
            Clock::time_point began = Clock::now();
            got = connection.campaign.hand_out(taken, error);
            server = ms(Clock::now() - began);
        }
        if (got == campaign::HandOut::record) {
            f.hand_out_ms.push_back(ms(Clock::now() - asked));
            f.server_ms.push_back(server);
            f.order.push_back(handed++);
            return true;
        }
        if (!under_way(got)) {
            if (got != campaign::HandOut::over) {
                f.failure = "hand-out " + std::to_string(static_cast<int>(got)) + ": " + error;
            }
            return false;
        }
        ++f.none;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void run_channel(Connection& connection, int channel, const Pace& pace, std::atomic<long>& handed,
                 ChannelFigures& f) {
    for (long n = 0;; ++n) {
        if (pace.period.count() > 0) {
            std::this_thread::sleep_until(pace.start + pace.phase + n * pace.period);
        }
        campaign::SharedRecord taken;
        if (!take(connection, taken, handed, f)) {
            return;
        }
        campaign::SharedVerdict verdict{
            taken.id,           taken.attempt, n % 3 ? 'N' : 'Y',      "2026-12-10 10:00:00",
            std::time(nullptr), channel,       taken.line.substr(0, 7)};
        Clock::time_point sent = Clock::now();
        std::string error;
        {
            std::lock_guard<std::mutex> turn(connection.turn);
            error = connection.campaign.send(verdict);
        }
        f.send_ms.push_back(ms(Clock::now() - sent));
        if (!error.empty()) {
            f.failure = "send: " + error;
            return;
        }
    }
}

struct DbFigures {
    long hand_outs = 0;
    double seconds = 0;
    std::vector<double> hand_out_ms, server_ms, send_ms;
    std::vector<std::pair<long, double>> server_by_order;
    long none = 0;
    int failures = 0;
};

void gather(const std::vector<ChannelFigures>& figures, DbFigures& d) {
    for (const ChannelFigures& f : figures) {
        d.hand_out_ms.insert(d.hand_out_ms.end(), f.hand_out_ms.begin(), f.hand_out_ms.end());
        d.server_ms.insert(d.server_ms.end(), f.server_ms.begin(), f.server_ms.end());
        d.send_ms.insert(d.send_ms.end(), f.send_ms.begin(), f.send_ms.end());
        for (size_t i = 0; i < f.order.size(); ++i) {
            d.server_by_order.emplace_back(f.order[i], f.server_ms[i]);
        }
        d.none += f.none;
        if (!f.failure.empty()) {
            std::fprintf(stderr, "channel: %s\n", f.failure.c_str());
            ++d.failures;
        }
    }
    d.hand_outs = static_cast<long>(d.hand_out_ms.size());
}

// Every channel of every rack on the campaign until it is over; rate 0: flat out.
DbFigures run_racks(const std::string& conn, const std::string& name, bool per_channel,
                    double rate) {
    int connections = per_channel ? RACKS * CHANNELS : RACKS;
    std::vector<std::unique_ptr<Connection>> opened;
    DbFigures d;
    for (int c = 0; c < connections; ++c) {
        opened.push_back(std::make_unique<Connection>());
        int rack = per_channel ? c / CHANNELS : c;
        std::string error =
            opened.back()->campaign.open(conn, name, "rack-" + std::to_string(rack + 1), 600);
        if (!error.empty()) {
            std::fprintf(stderr, "open: %s\n", error.c_str());
            d.failures = 1;
            return d;
        }
    }
    std::vector<ChannelFigures> figures(RACKS * CHANNELS);
    std::vector<std::thread> channels;
    std::atomic<long> handed{0};
    Clock::time_point start = Clock::now();
    for (int k = 0; k < RACKS * CHANNELS; ++k) {
        Connection& connection = *opened[per_channel ? k : k / CHANNELS];
        Pace pace{start, {}, {}};
        if (rate > 0) {
            pace.period = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(RACKS * CHANNELS / rate));
            pace.phase = pace.period * k / (RACKS * CHANNELS);
        }
        channels.emplace_back([&connection, &figures, &handed, pace, k] {
            run_channel(connection, k % CHANNELS + 1, pace, handed, figures[k]);
        });
    }
    for (std::thread& channel : channels) {
        channel.join();
    }
    d.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    gather(figures, d);
    return d;
}

// Every record of the campaign handed out once, its one verdict in; said, and whether it held.
bool check_once(const std::string& conn, const std::string& campaign, int records) {
    const std::string of_campaign =
        " FROM results s JOIN records r ON r.id = s.record_id JOIN campaigns c "
        "ON c.id = r.campaign_id WHERE c.name = ?";
    std::string twice = first(column(conn,
                                     "SELECT count(*) FROM (SELECT s.record_id" + of_campaign +
                                         " GROUP BY s.record_id HAVING count(*) > 1) t",
                                     {campaign}));
    std::string results = first(column(conn, "SELECT count(*)" + of_campaign, {campaign}));
    std::string distinct =
        first(column(conn, "SELECT count(DISTINCT s.record_id)" + of_campaign, {campaign}));
    std::string odd =
        first(column(conn,
                     "SELECT count(*) FROM records r JOIN campaigns c ON c.id = r.campaign_id "
                     "WHERE c.name = ? AND (r.calls <> 1 OR r.held_by IS NOT NULL OR r.mark = ' ')",
                     {campaign}));
    bool held =
        twice == "0" && results == std::to_string(records) && distinct == results && odd == "0";
    std::printf(
        "  check: records with more than one result row %s; result rows %s for %s "
        "records of %d; records not called once, still held or unmarked %s -> %s\n",
        twice.c_str(), results.c_str(), distinct.c_str(), records, odd.c_str(),
        held ? "every record handed out exactly once" : "FAILED");
    return held;
}

struct FileFigures {
    long records = 0;
    double seconds = 0;
    std::vector<double> record_ms;  // the call counted, the result logged, the mark written
    std::string failure;
};

std::string count_and_log(campaign::SubscriberList& list, campaign::RetryRounds& rounds,
                          const fs::path& dir, int position, long n) {
    const std::string record = list.record_buffer();
    long record_end = list.list_offset();
    std::string error = rounds.count_call(position, record, std::time(nullptr));
    uint8_t reply = n % 3 ? 0 : 1;
    if (error.empty()) {
        std::string line =
            campaign::result_log_line(record.substr(0, 8), core::local_time_at(std::time(nullptr)),
                                      reply == 1 ? ' ' : campaign::mark_for_reply(reply));
        error = campaign::append_result_line(dir / (reply == 1 ? "RINGY.txt" : "RINGN.txt"), line,
                                             0600);
    }
    if (error.empty()) {
        error = list.mark_record(record_end, reply);
    }
    return error;
}

// One rack's file mode, record after record as its channels finish them: Ring.TXT read and
// marked in place, its calls counted in Ring.TXT.attempts (retry 3), the verdict in the log.
FileFigures run_file_mode(const fs::path& dir, int records) {
    FileFigures f;
    fs::path path = dir / "Ring.TXT";
    std::string bytes = list_of(records);
    campaign::SubscriberList list;
    campaign::RetryRounds rounds;
    campaign::RetryRules rules;
    rules.retry = 3;
    if (!write_file(path, bytes) || !list.open(path, f.failure) ||
        !(f.failure = rounds.begin_run(rules, path, 0600, bytes)).empty()) {
        f.failure = "the list: " + f.failure;
        return f;
    }
    Clock::time_point start = Clock::now();
    for (int position = 1; list.read_record() == campaign::FRESH_RECORD; ++position) {
        Clock::time_point began = Clock::now();
        f.failure = count_and_log(list, rounds, dir, position, position);
        if (!f.failure.empty()) {
            return f;
        }
        f.record_ms.push_back(ms(Clock::now() - began));
    }
    f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    f.records = static_cast<long>(f.record_ms.size());
    return f;
}

double per_second(const DbFigures& d) {
    return d.seconds > 0 ? static_cast<double>(d.hand_outs) / d.seconds : 0;
}

// The hand-out's transaction early and late in the campaign: the marked records it passes over
// grow as the campaign goes on.
void print_by_progress(DbFigures& d) {
    std::sort(d.server_by_order.begin(), d.server_by_order.end());
    size_t tenth = d.server_by_order.size() / 10;
    if (tenth == 0) {
        return;
    }
    std::vector<double> early, late;
    for (size_t i = 0; i < tenth; ++i) {
        early.push_back(d.server_by_order[i].second);
        late.push_back(d.server_by_order[d.server_by_order.size() - 1 - i].second);
    }
    std::printf("  %-36s %9.2f %9.2f\n", "  its first tenth of the campaign",
                percentile(early, 0.5), percentile(early, 0.99));
    std::printf("  %-36s %9.2f %9.2f\n", "  its last tenth", percentile(late, 0.5),
                percentile(late, 0.99));
}

void print_db(const char* title, DbFigures& d) {
    std::printf("\n%s\n", title);
    std::printf(
        "  %ld hand-outs in %.1f s: %.1f a second; %ld asked while the last were under "
        "way; %d channels failed\n",
        d.hand_outs, d.seconds, per_second(d), d.none, d.failures);
    std::printf("  %-36s %9s %9s %9s\n", "", "p50 ms", "p99 ms", "max ms");
    auto row = [](const char* what, const std::vector<double>& v) {
        std::printf("  %-36s %9.2f %9.2f %9.2f\n", what, percentile(v, 0.5), percentile(v, 0.99),
                    v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()));
    };
    row("hand-out, as the channel waits", d.hand_out_ms);
    row("hand-out, its transaction alone", d.server_ms);
    print_by_progress(d);
    row("send, as the channel waits", d.send_ms);
}

void print_summary(const DbFigures& flood, const DbFigures& paced, const FileFigures& f) {
    double file_rate = f.seconds > 0 ? static_cast<double>(f.records) / f.seconds : 0;
    std::printf(
        "\nFile mode, one rack: %ld records in %.2f s (the call counted in "
        "Ring.TXT.attempts, the log line, the mark: three synced writes)\n",
        f.records, f.seconds);
    std::printf("\n  %-44s %10s %10s %10s\n", "", "records/s", "p50 ms", "p99 ms");
    auto row = [](const char* what, double rate, const std::vector<double>& v) {
        std::printf("  %-44s %10.1f %10.2f %10.2f\n", what, rate, percentile(v, 0.5),
                    percentile(v, 0.99));
    };
    row("database, flat out: hand-out", per_second(flood), flood.hand_out_ms);
    row("database, flat out: hand-out transaction", per_second(flood), flood.server_ms);
    row("database, paced: hand-out", per_second(paced), paced.hand_out_ms);
    row("file mode, one rack: whole record", file_rate, f.record_ms);
    std::printf("\n  needed by 30 racks (3,000 calls a day each in 12 hours): %.2f a second\n",
                NEEDED_PER_SECOND);
    std::printf("  database flat out / needed: %.0f x;  database flat out / file mode: %.2f x\n",
                per_second(flood) / NEEDED_PER_SECOND,
                file_rate > 0 ? per_second(flood) / file_rate : 0);
    double flood_p99 = percentile(flood.hand_out_ms, 0.99);
    double paced_p99 = percentile(paced.hand_out_ms, 0.99);
    std::printf(
        "  goal 200 hand-outs a second: %s;  goal p99 20 ms: flat out %s (%.1f ms), "
        "paced %s (%.1f ms)\n",
        per_second(flood) >= 200 ? "met" : "NOT met", flood_p99 <= 20 ? "met" : "NOT met",
        flood_p99, paced_p99 <= 20 ? "met" : "NOT met", paced_p99);
}

bool on_tmpfs(const fs::path& dir) {
    struct statfs about {};
    return ::statfs(dir.c_str(), &about) == 0 && about.f_type == 0x01021994;  // TMPFS_MAGIC
}

}  // namespace

// The campaign pushed, its racks run, and the check; false when a step failed.
bool run_phase(const std::string& conn, const std::string& campaign, int records, const Options& o,
               double rate, DbFigures& d) {
    if (!push_campaign(conn, campaign, records)) {
        return false;
    }
    if (o.analyze) {
        column(conn, "ANALYZE records");
    }
    d = run_racks(conn, campaign, o.per_channel, rate);
    std::string title =
        "Database, campaign \"" + campaign + "\" of " + std::to_string(records) + " records, " +
        std::to_string(RACKS) + " racks x " + std::to_string(CHANNELS) + " channels, " +
        (o.per_channel ? "a connection per channel"
                       : "a connection per rack, its channels "
                         "taking turns on it (as Dialrun)") +
        (rate > 0
             ? ", paced: " + std::to_string(static_cast<int>(rate)) + " hand-outs a second in all"
             : ", flat out");
    print_db(title.c_str(), d);
    return check_once(conn, campaign, records) && d.failures == 0;
}

FileFigures file_mode(int records) {
    char name[] = "/tmp/boardrack-dbbench-file-XXXXXX";
    if (::mkdtemp(name) == nullptr) {
        FileFigures f;
        f.failure = core::system_reason(errno);
        return f;
    }
    FileFigures f = run_file_mode(name, records);
    std::error_code ec;
    fs::remove_all(name, ec);
    return f;
}

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: campaign_db_bench [--records N] [--rate R] [--paced-records N] "
                     "[--file-records N] [--per-channel] [--analyze] [--partial-index]\n");
        return 2;
    }
    if (PostgresServer::find_binaries().empty()) {
        std::fprintf(stderr, "PostgreSQL is not installed: scripts/install-deps test\n");
        return 1;
    }
    PostgresServer server;
    std::string error = server.start(true);
    if (error.empty()) {
        error = server.create_database("bench");
    }
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::string conn = server.connection("bench");
    std::printf("PostgreSQL on 127.0.0.1:%d, fsync=%s, synchronous_commit=%s; %s\n", server.port(),
                first(column(conn, "SHOW fsync")).c_str(),
                first(column(conn, "SHOW synchronous_commit")).c_str(),
                on_tmpfs("/tmp") ? "its folder in /tmp is on tmpfs: syncs cost nothing here"
                                 : "its folder and the file mode's in /tmp, on the disk");
    std::ostringstream said;
    if (ringlist::db_init(conn, said) != ringlist::DONE) {
        std::fprintf(stderr, "db init failed:\n%s\n", said.str().c_str());
        return 1;
    }
    if (o.partial_index) {
        // What the hand-out would cost if it did not pass over the marked records.
        column(conn,
               "CREATE INDEX records_fresh ON records (campaign_id, position) "
               "WHERE mark = ' '");
        std::printf(
            "With an index of the fresh records, not in the schema: "
            "records (campaign_id, position) WHERE mark = ' '\n");
    }
    if (o.analyze) {
        std::printf("ANALYZE records after each push\n");
    }
    DbFigures flood, paced;
    bool good = run_phase(conn, "flood", o.records, o, 0, flood);
    good = run_phase(conn, "paced", o.paced_records, o, o.rate, paced) && good;
    FileFigures f = file_mode(o.file_records);
    if (!f.failure.empty()) {
        std::fprintf(stderr, "file mode: %s\n", f.failure.c_str());
        return 1;
    }
    print_summary(flood, paced, f);
    return good ? 0 : 1;
}
