#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "campaign/retry_rules.h"
#include "db/connection.h"

namespace campaign {

// A record a rack took from the shared campaign: its line as Ring.TXT holds it (CR LF
// included), where it stands in the list, and which call of it this is.
struct SharedRecord {
    std::string id;  // the records table's id
    int position = 0;
    std::string line;
    int attempt = 0;
};

// A verdict as the results table keeps it: one row per record and call.
struct SharedVerdict {
    std::string record_id;
    int attempt = 0;
    char mark = ' ';
    std::string local_time;  // the rack's own "YYYY-MM-DD hh:mm:ss", its log line's moment
    int64_t utc = 0;
    int channel = 0;     // from 1
    std::string number;  // the record's seven digits: a verdict for another record is refused
};

// What a hand-out gave: a record, or why none.
enum class HandOut {
    record,
    other_racks,  // the records left are held (by other racks, or this one's other channels)
    retry_gap,    // the records left wait for their retry gap
    over,         // none can be due again: the campaign is over for every rack
    lost,         // the database cannot be reached
};

// One rack's part in a campaign that many racks share in the database: the hand-out of the
// next due record (two racks never take the same one), the leases, and the verdicts. Times
// that racks compare (leases, gaps) are the server's, so a rack whose clock is off cannot take
// a record early.
class SharedCampaign {
  public:
    // Connects, checks the schema, finds the campaign and its rules, and names the rack (made
    // on its first run). Returns "" or why not, naming the server.
    std::string open(const std::string& connection, const std::string& campaign,
                     const std::string& rack, int lease_seconds);
    // What the rack held from an earlier run of its own is free again.
    std::string free_holds();
    // In one transaction: the first due record in list order that no rack holds, held by this
    // rack for a lease, its call counted. error says why on lost.
    HandOut hand_out(SharedRecord& taken, std::string& error);
    // Takes nothing: whether a record is due now (record), or why none. For a rack that waits.
    HandOut look(std::string& error);
    // The leases of the records under way run on from now.
    std::string renew(const std::vector<std::string>& record_ids);
    // In one transaction: the result row, the record's mark (never over a Y, nor over a later
    // call's), and its hold released if it is this rack's. A verdict sent twice counts once.
    // One that is not for a record of this campaign with that number and a call that was
    // counted (an outbox from elsewhere) is not taken: foreign is set, nothing written.
    std::string send(const SharedVerdict& verdict, bool* foreign = nullptr);
    // Connects again after a loss.
    std::string reconnect();
    bool connected() const { return db_.is_open(); }

    const RetryRules& rules() const { return rules_; }
    const std::string& server() const { return db_.server(); }

  private:
    std::string find_campaign(const std::string& name);
    std::string name_rack(const std::string& rack);
    HandOut take_due(SharedRecord& taken, std::string& error);
    // due_now: what to say when a free record is due (a hand-out that found none was beaten
    // to it by another rack; a look says record).
    HandOut why_none(std::string& error, HandOut due_now);
    // The rack's last_seen, for the page, at most twice a minute.
    std::string touch();
    std::string hold_the_name(const std::string& rack);
    std::string confirm(const SharedRecord& taken);
    std::string undo_unconfirmed();
    std::string is_ours(const SharedVerdict& verdict, bool& ours);
    // A failed statement: the transaction is given up, and a lost connection closed so that the
    // next step connects again.
    std::string failed(const std::string& error);

    core::DbConnection db_;
    std::string connection_;
    std::string campaign_id_;
    std::string rack_name_;
    std::string rack_id_;
    int lease_seconds_ = 600;
    std::chrono::steady_clock::time_point touched_{};
    SharedRecord unconfirmed_;  // a claim whose commit was not confirmed: undone on reconnect
    RetryRules rules_;
};

}  // namespace campaign
