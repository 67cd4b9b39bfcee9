// One campaign shared by many racks: the hand-out, the leases and the verdicts against a real
// PostgreSQL, and the rack's outbox on its disk.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "campaign/db/shared_campaign.h"
#include "campaign/db/verdict_outbox.h"
#include "support/campaign_db_fixture.h"
#include "support/temp_root.h"

namespace {

using campaign::HandOut;
using campaign::SharedCampaign;
using campaign::SharedRecord;
using campaign::SharedVerdict;

std::string list_of(int count, char mark = ' ') {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += record(std::to_string(4000000 + i), "    " + std::to_string(100 + i), mark);
    }
    return list + "\r\n";
}

SharedVerdict verdict_for(const SharedRecord& r, char mark, int channel = 1) {
    return {r.id, r.attempt, mark, "2026-12-10 09:00:00", 1796893200, channel, r.line.substr(0, 7)};
}

class SharedCampaignDb : public CampaignDb {
  protected:
    // A campaign of list under the rules given, pushed as ringlist db push does.
    void campaign_of(const std::string& list, int retry = 1, int gap_seconds = 7200,
                     const std::string& name = "зима") {
        ASSERT_EQ(init(), ringlist::DONE);
        TempRoot root;
        root.write("Ring.TXT", list);
        ringlist::DbPushOptions options;
        options.dir = root.path;
        options.campaign = name;
        options.retry = retry;
        options.retry_gap_seconds = gap_seconds;
        std::string said;
        ASSERT_EQ(push(options, said), ringlist::DONE) << said;
    }
    void open_rack(SharedCampaign& rack, const std::string& name, int lease = 600) {
        ASSERT_EQ(rack.open(conn, "зима", name, lease), "");
    }
    // Records in list order: mark, calls, and the rack that holds it ("-" for none).
    std::vector<std::string> records() {
        return rows(
            "SELECT r.mark || ' ' || r.calls || ' ' || coalesce(k.name, '-') FROM records r "
            "LEFT JOIN racks k ON k.id = r.held_by ORDER BY r.position");
    }
};

TEST_F(SharedCampaignDb, RacksTakeEachRecordOnceInListOrderAndTheCampaignEndsForAll) {
    campaign_of(record("4000001", "    100", ' ') + record("4000002", "    200", 'Y') +
                record("4000003", "    300", ' ') + record("4000004", "    400", 'X') +
                record("4000005", "    500", ' ') + "\r\n");
    SharedCampaign first, second;
    open_rack(first, "стойка \"1\"; DROP TABLE records");
    open_rack(second, "стойка 2");
    SharedRecord a, b, c, none;
    std::string error;
    ASSERT_EQ(first.hand_out(a, error), HandOut::record) << error;
    ASSERT_EQ(second.hand_out(b, error), HandOut::record) << error;
    ASSERT_EQ(first.hand_out(c, error), HandOut::record) << error;
    EXPECT_EQ(a.line, "4000001      100  \r\n");
    EXPECT_EQ(a.position, 1);
    EXPECT_EQ(a.attempt, 1);
    EXPECT_EQ(b.line, "4000003      300  \r\n");
    EXPECT_EQ(c.line, "4000005      500  \r\n");
    // All three held: the others wait for them, however fresh the rest would be.
    EXPECT_EQ(second.hand_out(none, error), HandOut::other_racks) << error;
    EXPECT_EQ(records(), (std::vector<std::string>{"  1 стойка \"1\"; DROP TABLE records", "Y 0 -",
                                                   "  1 стойка 2", "X 0 -",
                                                   "  1 стойка \"1\"; DROP TABLE records"}));
    EXPECT_EQ(first.send(verdict_for(a, 'Y')), "");
    EXPECT_EQ(second.send(verdict_for(b, 'N', 3)), "");
    // The first rack's own call is all that is left: it waits for that call (not for a retry
    // gap, there being no retry), the other does too.
    EXPECT_EQ(first.hand_out(none, error), HandOut::other_racks) << error;
    EXPECT_EQ(second.hand_out(none, error), HandOut::other_racks) << error;
    EXPECT_EQ(first.send(verdict_for(c, 'Z')), "");
    EXPECT_EQ(first.hand_out(none, error), HandOut::over) << error;
    EXPECT_EQ(second.hand_out(none, error), HandOut::over) << error;
    EXPECT_EQ(records(), (std::vector<std::string>{"Y 1 -", "Y 0 -", "N 1 -", "X 0 -", "Z 1 -"}));
    EXPECT_EQ(rows("SELECT k.name, r.number, s.attempt, s.mark, s.local_time, s.channel "
                   "FROM results s JOIN records r ON r.id = s.record_id "
                   "JOIN racks k ON k.id = s.rack_id ORDER BY s.id"),
              (std::vector<std::string>{
                  "стойка \"1\"; DROP TABLE records|4000001|1|Y|2026-12-10 09:00:00|1",
                  "стойка 2|4000003|1|N|2026-12-10 09:00:00|3",
                  "стойка \"1\"; DROP TABLE records|4000005|1|Z|2026-12-10 09:00:00|1"}));
}

TEST_F(SharedCampaignDb, ALeaseThatRunsOutHandsTheRecordOnAndTheCapAndTheLaterVerdictHold) {
    campaign_of(record("4000001", "    100", ' ') + "\r\n", 2, 0);
    SharedCampaign killed, survivor;
    open_rack(killed, "упавшая", 1);
    open_rack(survivor, "живая", 1);
    SharedRecord first, second, none;
    std::string error;
    ASSERT_EQ(killed.hand_out(first, error), HandOut::record) << error;
    // Held until its lease runs out by the server's clock; then the other rack takes it, as
    // the second of its two calls.
    HandOut got;
    while ((got = survivor.hand_out(second, error)) == HandOut::other_racks) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(got, HandOut::record) << error;
    EXPECT_EQ(second.attempt, 2);
    EXPECT_EQ(survivor.send(verdict_for(second, 'Z')), "");
    // The first call's verdict comes late (its rack came back): it is kept as a row, but the
    // mark of the later call stands, and the hold of another rack is not its to release.
    EXPECT_EQ(killed.send(verdict_for(first, 'N')), "");
    EXPECT_EQ(records(), std::vector<std::string>{"Z 2 -"});
    EXPECT_EQ(rows("SELECT attempt, mark FROM results ORDER BY attempt"),
              (std::vector<std::string>{"1|N", "2|Z"}));
    // Two calls of two: used up, never a third, and the campaign is over.
    EXPECT_EQ(killed.hand_out(none, error), HandOut::over) << error;
}

TEST_F(SharedCampaignDb, ARetryWaitsForItsGapAndAVerdictSentTwiceCountsOnce) {
    campaign_of(record("4000001", "    100", ' ') + record("4000002", "    200", 'N') + "\r\n", 3,
                1);
    SharedCampaign rack;
    open_rack(rack, "стойка");
    SharedRecord fresh, retried, none;
    std::string error;
    // The fresh record first, though the marked one is due already.
    ASSERT_EQ(rack.hand_out(fresh, error), HandOut::record) << error;
    EXPECT_EQ(fresh.line, "4000001      100  \r\n");
    SharedVerdict said = verdict_for(fresh, 'N');
    // A verdict that is not this record's (another number, a call never counted, a mark no
    // board gives: an outbox from elsewhere) is not taken, and nothing is written.
    SharedVerdict other = said;
    other.number = "4000002";
    SharedVerdict later = said;
    later.attempt = 2;
    SharedVerdict odd = said;
    odd.mark = 'X';
    for (const SharedVerdict& stranger : {other, later, odd}) {
        bool foreign = false;
        EXPECT_EQ(rack.send(stranger, &foreign), "");
        EXPECT_TRUE(foreign);
    }
    EXPECT_EQ(rows("SELECT count(*) FROM results"), std::vector<std::string>{"0"});
    EXPECT_EQ(rack.send(said), "");
    EXPECT_EQ(rack.send(said), "");
    EXPECT_EQ(rows("SELECT count(*) FROM results"), std::vector<std::string>{"1"});
    ASSERT_EQ(rack.hand_out(retried, error), HandOut::record) << error;
    EXPECT_EQ(retried.line, "4000002      200 N\r\n");
    EXPECT_EQ(retried.attempt, 1);
    EXPECT_EQ(rack.send(verdict_for(retried, 'Y')), "");
    // The first record called a moment ago waits for its gap (a second, by the server).
    HandOut got;
    while ((got = rack.hand_out(none, error)) == HandOut::retry_gap) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(got, HandOut::record) << error;
    EXPECT_EQ(none.line, "4000001      100 N\r\n");
    EXPECT_EQ(none.attempt, 2);
    // A Y is never called again nor overwritten, even by a verdict that comes late.
    EXPECT_EQ(rack.send(verdict_for(none, 'Y')), "");
    EXPECT_EQ(rack.send({retried.id, 1, 'N', "2026-12-10 09:00:00", 1796893200, 1, "4000002"}), "");
    EXPECT_EQ(records(), (std::vector<std::string>{"Y 2 -", "Y 1 -"}));
    EXPECT_EQ(rack.hand_out(none, error), HandOut::over) << error;
}

TEST_F(SharedCampaignDb, ARackThatStartsAgainFreesOnlyWhatItHeld) {
    campaign_of(list_of(3));
    SharedCampaign other;
    open_rack(other, "стойка 2");
    SharedRecord a, b;
    std::string error;
    {
        SharedCampaign before;
        open_rack(before, "стойка 1");
        ASSERT_EQ(before.hand_out(a, error), HandOut::record) << error;
        // While it runs, a second Dialrun under its name is refused: it would free its holds.
        SharedCampaign twin;
        EXPECT_NE(twin.open(conn, "зима", "стойка 1", 600).find("стойка \"стойка 1\" уже работает"),
                  std::string::npos);
    }  // its connection ends, as a killed rack's does
    ASSERT_EQ(other.hand_out(b, error), HandOut::record) << error;
    SharedCampaign again;
    open_rack(again, "стойка 1");
    EXPECT_EQ(again.free_holds(), "");
    EXPECT_EQ(records(), (std::vector<std::string>{"  1 -", "  1 стойка 2", "  0 -"}));
}

// Eight racks at once on one campaign: every record is taken by exactly one of them, once.
TEST_F(SharedCampaignDb, EightRacksAtOnceNeverTakeTheSameRecord) {
    campaign_of(list_of(240));
    std::atomic<int> failures{0};
    std::vector<std::thread> racks;
    for (int n = 0; n < 8; ++n) {
        racks.emplace_back([&, n] {
            SharedCampaign rack;
            if (!rack.open(conn, "зима", "стойка " + std::to_string(n), 600).empty()) {
                ++failures;
                return;
            }
            for (;;) {
                SharedRecord r;
                std::string error;
                HandOut got = rack.hand_out(r, error);
                if (got == HandOut::over) {
                    return;
                }
                if (got == HandOut::record) {
                    failures += rack.send(verdict_for(r, 'Y', n + 1)).empty() ? 0 : 1;
                } else if (got != HandOut::other_racks) {
                    ++failures;
                    return;
                }
            }
        });
    }
    for (std::thread& rack : racks) {
        rack.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(rows("SELECT count(*), count(DISTINCT record_id), max(attempt) FROM results"),
              std::vector<std::string>{"240|240|1"});
    EXPECT_EQ(rows("SELECT mark, calls, count(*) FROM records GROUP BY mark, calls"),
              std::vector<std::string>{"Y|1|240"});
}

TEST_F(SharedCampaignDb, NoServerOrNoCampaignIsRefusedNamingTheServer) {
    campaign_of(list_of(1));
    SharedCampaign rack;
    EXPECT_EQ(rack.open(conn, "весна", "стойка", 600),
              "База кампании (127.0.0.1:" + std::to_string(server_->port()) +
                  "): кампании \"весна\" нет");
    std::string unreachable =
        "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=boardrack;";
    std::string error = rack.open(unreachable, "зима", "стойка", 600);
    EXPECT_EQ(
        error.rfind("127.0.0.1:1", 0) == 0 || error.find("(127.0.0.1:1)") != std::string::npos,
        true)
        << error;
    SharedRecord r;
    EXPECT_EQ(rack.hand_out(r, error), HandOut::lost);
    EXPECT_FALSE(error.empty());
}

TEST(VerdictOutbox, KeepsWholeLinesInOrderPassesOverATornOneAndEmptiesWithTheListsMode) {
    TempRoot root;
    std::filesystem::path path = root.path / "journal" / "outbox";
    std::filesystem::create_directories(path.parent_path());
    campaign::VerdictOutbox outbox(path, 0600);
    std::vector<SharedVerdict> read;
    EXPECT_EQ(outbox.load(read), "");
    EXPECT_TRUE(read.empty());
    ASSERT_EQ(outbox.add({"17", 1, 'Y', "2026-12-10 09:00:01", 1796893201, 1, "4000001"}), "");
    ASSERT_EQ(outbox.add({"18", 2, 'Z', "2026-12-10 09:00:02", 1796893202, 8, "4000002"}), "");
    struct stat made {};
    ASSERT_EQ(::stat(path.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0600u);
    EXPECT_EQ(file_bytes(path),
              "17\t1\tY\t2026-12-10 09:00:01\t1796893201\t1\t4000001\n18\t2\tZ\t2026-12-10 "
              "09:00:02\t1796893202\t8\t4000002\n");
    // A kill in the middle of a line leaves it torn: passed over, and dropped by the next add.
    write_file_bytes(path, file_bytes(path) + "19\t1\tN\t2026-12");
    ASSERT_EQ(outbox.load(read), "");
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].record_id, "18");
    EXPECT_EQ(read[1].attempt, 2);
    EXPECT_EQ(read[1].mark, 'Z');
    EXPECT_EQ(read[1].channel, 8);
    EXPECT_EQ(read[1].number, "4000002");
    ASSERT_EQ(outbox.add({"19", 1, 'N', "2026-12-10 09:00:03", 1796893203, 2, "4000003"}), "");
    ASSERT_EQ(outbox.load(read), "");
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[2].local_time, "2026-12-10 09:00:03");
    ASSERT_EQ(outbox.clear(), "");
    EXPECT_EQ(file_bytes(path), "");
    ASSERT_EQ(::stat(path.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0600u);
    // Lines that are not ours are never sent.
    for (const std::string bad :
         {"x\t1\tY\t2026-12-10 09:00:01\t1\t1\t4000001", "17\t1\tY\t10-12\t1\t1\t4000001",
          "17\t1\tY\t2026-12-10 09:00:01\t1\t1", "17\t1\tQ\t2026-12-10 09:00:01\t1\t1\t4000001",
          "17\t1\tY\t2026-12-10 09:00:01\t1\t1\t400000",
          "17\t1\tX\t2026-12-10 09:00:01\t1\t1\t4000001", "17\t1\tYY\t2026-12-10 09:00:01\t1\t1",
          "17\t1\tY\t2026-12-10 09:00:01\t1", "17\t1\tY\t10-12 09:00:01\t1\t1",
          "17\t1\tY\t2026-12-10T09:00:01\t1\t1"}) {
        SharedVerdict v;
        EXPECT_FALSE(campaign::parse_outbox_line(bad, v)) << bad;
    }
    // A whole line that is not a verdict stops the load rather than be emptied with the rest.
    write_file_bytes(path, "17\t1\tY\t2026-12-10 09:00:01\t1796893201\t1\t4000001\nчужая строка\n");
    EXPECT_EQ(outbox.load(read), "строка 2 - не результат звонка");
    EXPECT_TRUE(read.empty());
}

}  // namespace
