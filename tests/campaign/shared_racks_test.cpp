// Dialruns on simulated racks sharing one campaign in a real PostgreSQL: each record within its
// cap, every verdict counted once, the racks' own logs together the database's; a rack killed,
// the server stopped and started again.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/campaign_db_fixture.h"
#include "support/program_run.h"
#include "support/temp_root.h"

namespace {

// Eight ring channels whose boards notify most subscribers, leave some unreached (Z, N) and
// keep a few calls long.
const char* const RACK =
    "K1 ring line busy=1 results=1,2,0\nK2 ring line busy=2 results=1,1,2\n"
    "K3 ring line busy=1 results=0,1\nK4 ring line busy=3 results=1\n"
    "K5 ring line busy=1 results=1,1,1,2\nK6 ring line busy=2 results=1,0\n"
    "K7 ring line busy=1 results=1\nK8 ring line busy=1 results=2,1\n";

class SharedRacks : public CampaignDb {
  protected:
    void campaign_of(int records, int gap_seconds) {
        ASSERT_EQ(init(), ringlist::DONE);
        TempRoot root;
        root.write("Ring.TXT", list_of(records, 3000000, [](int i) { return 500 + i * 37; }));
        ringlist::DbPushOptions options;
        options.dir = root.path;
        options.campaign = "зима; 'общая'";
        options.retry = 3;
        options.retry_gap_seconds = gap_seconds;
        std::string said;
        ASSERT_EQ(push(options, said), ringlist::DONE) << said;
    }

    // Rack n on its own simulated rack and drive C:, in virtual time from 10:00 in UTC.
    std::unique_ptr<RunningProgram> rack(int n, int lease = 600,
                                         const std::vector<std::string>& more = {}) {
        std::filesystem::path root = roots_.path / ("rack" + std::to_string(n));
        std::filesystem::create_directories(root);
        std::ofstream(roots_.path / "rack.txt") << RACK;
        std::vector<std::string> args{DIALRUN_PATH,
                                      "--console",
                                      "--simulate",
                                      roots_.file("rack.txt"),
                                      "--fast",
                                      "--time",
                                      "2026-12-10T10:00:00",
                                      "--root",
                                      root.string(),
                                      "--campaign-db",
                                      conn,
                                      "--campaign",
                                      "зима; 'общая'",
                                      "--rack-name",
                                      "стойка \"" + std::to_string(n) + "\";",
                                      "--claim-lease",
                                      std::to_string(lease),
                                      "--reconnect",
                                      "1"};
        args.insert(args.end(), more.begin(), more.end());
        return std::make_unique<RunningProgram>(
            args, "wait\nstart\nwait\n", false,
            std::vector<std::pair<std::string, std::string>>{{"TZ", "UTC"}});
    }

    // Each rack read to its end at once: a rack whose output were left unread would stop on
    // its full pipe, and the others would wait for the records it holds.
    static std::vector<int> ends_of(const std::vector<RunningProgram*>& racks) {
        std::vector<int> ends(racks.size(), -2);
        std::vector<std::thread> readers;
        for (size_t i = 0; i < racks.size(); ++i) {
            readers.emplace_back([&, i] { ends[i] = racks[i]->wait_end(); });
        }
        for (std::thread& reader : readers) {
            reader.join();
        }
        return ends;
    }

    std::string log_of(int n, const char* name) {
        return roots_.read("rack" + std::to_string(n) + "/" + name);
    }

    // A log's lines, sorted: the racks' logs together against the database's.
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> found;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            found.push_back(line);
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    // The snapshot ringlist db pull writes.
    std::string pulled(const char* name) {
        std::filesystem::path dir = roots_.path / "pull";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        Outcome pull = run({RINGLIST_PATH, "db", "pull", "--campaign", "зима; 'общая'",
                            dir.string(), "--db", conn},
                           "", {}, {}, true);
        EXPECT_EQ(pull.status, 0) << pull.out << pull.err;
        return roots_.read(std::string("pull/") + name);
    }

    // What must hold however the racks ended: no record over its cap, a call counted once, a
    // record's mark its last verdict's, each record notified or its calls used up.
    void expect_campaign_sound() {
        EXPECT_EQ(rows("SELECT count(*) FROM records WHERE calls > 3"),
                  std::vector<std::string>{"0"});
        EXPECT_EQ(rows("SELECT count(*) - count(DISTINCT (record_id, attempt)) FROM results"),
                  std::vector<std::string>{"0"});
        EXPECT_EQ(rows("SELECT count(*) FROM results s JOIN records r ON r.id = s.record_id "
                       "WHERE s.attempt > r.calls OR s.attempt < 1"),
                  std::vector<std::string>{"0"});
        EXPECT_EQ(rows("SELECT count(*) FROM records r WHERE r.mark <> (SELECT s.mark FROM "
                       "results s WHERE s.record_id = r.id ORDER BY s.attempt DESC LIMIT 1)"),
                  std::vector<std::string>{"0"});
        EXPECT_EQ(rows("SELECT count(*) FROM records WHERE NOT (mark = 'Y' OR calls = 3)"),
                  std::vector<std::string>{"0"});
        EXPECT_EQ(rows("SELECT count(*) FROM records WHERE held_by IS NOT NULL"),
                  std::vector<std::string>{"0"});
    }

    void expect_logs_are_the_databases(const std::vector<int>& racks) {
        for (const char* name : {"RINGY.txt", "RINGN.txt"}) {
            std::string local;
            for (int n : racks) {
                local += log_of(n, name);
            }
            EXPECT_EQ(lines(local), lines(pulled(name))) << name;
        }
    }

    TempRoot roots_;
};

TEST_F(SharedRacks, ThreeRacksCallEachRecordWithinItsCapAndTheirLogsAreTheDatabases) {
    campaign_of(2000, 3);
    std::vector<std::unique_ptr<RunningProgram>> racks;
    for (int n = 1; n <= 3; ++n) {
        racks.push_back(rack(n));
    }
    EXPECT_EQ(ends_of({racks[0].get(), racks[1].get(), racks[2].get()}),
              (std::vector<int>{0, 0, 0}));
    for (auto& r : racks) {
        EXPECT_NE(r->output.find("Останов прозвонки"), std::string::npos) << r->output;
    }
    expect_campaign_sound();
    // With no fault every call has its verdict, and every rack took its part.
    EXPECT_EQ(rows("SELECT (SELECT sum(calls) FROM records) - (SELECT count(*) FROM results)"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(rows("SELECT count(DISTINCT rack_id) FROM results"), std::vector<std::string>{"3"});
    EXPECT_EQ(rows("SELECT count(*) FROM records WHERE calls > 1"),
              rows("SELECT count(*) FROM records WHERE calls > 1 AND mark <> ' '"));
    expect_logs_are_the_databases({1, 2, 3});
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(log_of(n, "Ring.TXT.outbox"), "") << n;
    }
}

TEST_F(SharedRacks, AKilledRackAndAStoppedServerLoseNoVerdictAndExceedNoCap) {
    campaign_of(600, 2);
    auto killed = rack(1, 5);
    ASSERT_TRUE(killed->wait_for_count("list\tСписок", 40)) << killed->output;
    auto second = rack(2, 5, {"--journal", "yes", "--status-file", "yes"});
    auto third = rack(3, 5);
    // Its records' leases run out and the others take them; the calls it counted stay counted.
    EXPECT_EQ(killed->end_with(SIGKILL), -1);
    ASSERT_TRUE(second->wait_for_count("list\tСписок", 40)) << second->output;
    ASSERT_EQ(server_->stop(), "");
    // Calls under way end; their verdicts wait in the outbox; nothing new is handed out.
    ASSERT_TRUE(second->wait_for("Пауза: Нет связи с базой кампании")) << second->output;
    ASSERT_TRUE(third->wait_for("Нет связи с базой кампании")) << third->output;
    // The supervisor's status file says why the rack waits.
    std::string status;
    for (auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(120);
         status.find("\"reason\": \"Нет связи с базой кампании\"") == std::string::npos &&
         std::chrono::steady_clock::now() < guard;) {
        second->read_ready();
        status = log_of(2, "status-dialrun.json");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a poll, not a wait
    }
    EXPECT_NE(status.find("\"state\": \"paused\""), std::string::npos) << status;
    EXPECT_NE(status.find("\"reason\": \"Нет связи с базой кампании\""), std::string::npos)
        << status;
    ASSERT_EQ(server_->start_again(), "");
    EXPECT_EQ(ends_of({second.get(), third.get()}), (std::vector<int>{0, 0}));
    EXPECT_NE(second->output.find("восстановлена"), std::string::npos) << second->output;
    // The killed rack comes back: what its outbox kept is sent, its holds are freed, and the
    // campaign being over it ends.
    auto back = rack(1, 5);
    EXPECT_EQ(back->wait_end(), 0) << back->output;
    expect_campaign_sound();
    EXPECT_EQ(rows("SELECT count(*) FROM records WHERE calls = 0"), std::vector<std::string>{"0"});
    std::string journal;
    for (const auto& day : std::filesystem::directory_iterator(roots_.path / "rack2" / "journal")) {
        journal += file_bytes(day.path());
    }
    EXPECT_NE(journal.find(": Нет связи с базой кампании\n"), std::string::npos) << journal;
    EXPECT_NE(journal.find("\tpause\tконец\n"), std::string::npos) << journal;
    expect_logs_are_the_databases({1, 2, 3});
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(log_of(n, "Ring.TXT.outbox"), "") << n;
    }
}

TEST_F(SharedRacks, AStartIsRefusedNamingTheServerAndWithoutItsPassword) {
    campaign_of(5, 60);
    TempRoot root;
    std::ofstream(root.path / "rack.txt") << RACK;
    // Port 1: nothing listens there.
    std::string unreachable =
        "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=boardrack;"
        "Pwd={тайна;1};";
    Outcome refused =
        run({DIALRUN_PATH, "--console", "--simulate", root.file("rack.txt"), "--root",
             root.path.string(), "--campaign-db", unreachable, "--campaign", "зима; 'общая'"},
            "wait\nstart\nwait\n");
    EXPECT_NE(refused.out.find("box\tНет связи с базой кампании (127.0.0.1:1): "),
              std::string::npos)
        << refused.out;
    EXPECT_EQ(refused.out.find("Start K1"), std::string::npos) << refused.out;
    Outcome shown = run({DIALRUN_PATH, "--show-settings", "--campaign-db", unreachable}, "");
    EXPECT_NE(shown.out.find("Pwd=***;"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("тайна"), std::string::npos) << shown.out;
    // A campaign that is not there, and a name without its database.
    Outcome unknown = run({DIALRUN_PATH, "--console", "--simulate", root.file("rack.txt"), "--root",
                           root.path.string(), "--campaign-db", conn, "--campaign", "лето"},
                          "wait\nstart\nwait\n");
    EXPECT_NE(unknown.out.find("box\t"), std::string::npos) << unknown.out;
    EXPECT_NE(unknown.out.find("лето"), std::string::npos) << unknown.out;
    EXPECT_EQ(unknown.out.find("Start K1"), std::string::npos) << unknown.out;
    Outcome alone = run({DIALRUN_PATH, "--console", "--simulate", root.file("rack.txt"), "--root",
                         root.path.string(), "--campaign", "зима"},
                        "");
    EXPECT_NE(alone.status, 0);
    EXPECT_NE((alone.out + alone.err).find("campaign без campaign-db"), std::string::npos)
        << alone.out << alone.err;
}

}  // namespace
