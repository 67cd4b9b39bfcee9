#include "campaign/db/shared_campaign.h"

#include <thread>

#include "campaign/db/campaign_schema.h"
#include "campaign/db/db_record.h"
#include "db/statement.h"

namespace campaign {

namespace {

// The advisory locks' first key: the rack names' (the second is the rack's id).
constexpr int RACK_NAME_LOCKS = 872301;
// Seconds a rack's name is waited for before a start is refused.
constexpr int NAME_WAITS = 5;

// The conditions of the hand-out, over records r of campaigns c. A blank record is due while
// its calls are not used up (a call whose verdict never came counts); a marked one when the
// rules retry its mark, its calls are not used up and its gap has passed by the server's clock.
const char* const FREE = "(r.held_by IS NULL OR r.held_until < now())";
const char* const FRESH_DUE = "(r.mark = ' ' AND r.calls < greatest(c.retry, 1))";
const char* const RETRIED =
    "(r.mark NOT IN (' ', 'Y', 'X') AND strpos(c.retry_marks, r.mark) > 0 "
    "AND greatest(r.calls, 1) < c.retry)";
const char* const GAP_PASSED =
    "(r.last_call IS NULL OR r.last_call + c.retry_gap_seconds * interval '1 second' <= now())";

// The first row's columns as text; false at no row, with error set when the read failed.
bool first_row(core::DbStatement& statement, std::vector<core::DbValue>& columns, int count,
               std::string& error) {
    if (!statement.next(error)) {
        return false;
    }
    columns.clear();
    for (int k = 0; k < count && error.empty(); ++k) {
        columns.push_back(statement.text(k, error));
    }
    return error.empty();
}

std::string text_of(const core::DbValue& value) {
    return value.value_or("");
}

}  // namespace

std::string SharedCampaign::open(const std::string& connection, const std::string& campaign,
                                 const std::string& rack, int lease_seconds) {
    connection_ = connection;
    rack_name_ = rack;
    lease_seconds_ = lease_seconds;
    std::string error = open_campaign_db(db_, connection);
    if (error.empty()) {
        error = find_campaign(campaign);
    }
    if (error.empty()) {
        error = name_rack(rack);
    }
    if (!error.empty()) {
        db_.rollback();
        db_.close();
    }
    return error;
}

std::string SharedCampaign::find_campaign(const std::string& name) {
    core::DbStatement select(db_);
    std::string error = select.run(
        "SELECT id, retry, retry_gap_seconds, retry_marks FROM campaigns WHERE name = ?", {name});
    std::vector<core::DbValue> row;
    if (error.empty() && !first_row(select, row, 4, error) && error.empty()) {
        return "База кампании (" + db_.server() + "): кампании \"" + name + "\" нет";
    }
    if (!error.empty()) {
        return error;
    }
    campaign_id_ = text_of(row[0]);
    rules_.retry = std::stoi(text_of(row[1]));
    rules_.gap_minutes = std::stoi(text_of(row[2])) / 60;
    rules_.marks = text_of(row[3]);
    return "";
}

std::string SharedCampaign::name_rack(const std::string& rack) {
    core::DbStatement upsert(db_);
    std::string error = upsert.run(
        "INSERT INTO racks (name, last_seen) VALUES (?, now()) "
        "ON CONFLICT (name) DO UPDATE SET last_seen = now() RETURNING id",
        {rack});
    std::vector<core::DbValue> row;
    if (error.empty() && !first_row(upsert, row, 1, error) && error.empty()) {
        error = "База кампании (" + db_.server() + "): стойка не записана";
    }
    if (!error.empty()) {
        return error;
    }
    rack_id_ = text_of(row[0]);
    error = db_.commit();
    if (error.empty()) {
        error = hold_the_name(rack);
    }
    return error;
}

// One Dialrun per rack name: a second would free the first one's holds at its start and call
// its records again. The lock is the session's, so a rack that is killed or cut off lets go of
// it with its connection.
std::string SharedCampaign::hold_the_name(const std::string& rack) {
    // A rack started again at once after a kill may find its old session not yet gone: a few
    // seconds for the server to see it end.
    for (int attempt = 0;; ++attempt) {
        core::DbStatement lock(db_);
        std::string error =
            lock.run("SELECT pg_try_advisory_lock(CAST(? AS integer), CAST(? AS integer))",
                     {std::to_string(RACK_NAME_LOCKS), rack_id_});
        std::vector<core::DbValue> row;
        if (error.empty() && !first_row(lock, row, 1, error) && error.empty()) {
            error = "База кампании (" + db_.server() + "): нет ответа";
        }
        if (!error.empty()) {
            return error;
        }
        bool held = text_of(row[0]) == "1" || text_of(row[0]) == "t";
        error = db_.commit();
        if (!error.empty() || held) {
            return error;
        }
        if (attempt == NAME_WAITS) {
            return "База кампании (" + db_.server() + "): стойка \"" + rack +
                   "\" уже работает (другой Dialrun с тем же rack-name): нужно другое имя стойки";
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

std::string SharedCampaign::free_holds() {
    if (!connected()) {
        return failed(reconnect());
    }
    core::DbStatement update(db_);
    std::string error = update.run(
        "UPDATE records SET held_by = NULL, held_until = NULL "
        "WHERE held_by = CAST(? AS bigint) AND campaign_id = CAST(? AS bigint)",
        {rack_id_, campaign_id_});
    if (error.empty()) {
        error = db_.commit();
    }
    return failed(error);
}

HandOut SharedCampaign::hand_out(SharedRecord& taken, std::string& error) {
    if (!connected()) {
        error = failed(reconnect());
        if (!error.empty()) {
            return HandOut::lost;
        }
    }
    error = touch();
    HandOut got = error.empty() ? take_due(taken, error) : HandOut::lost;
    if (got == HandOut::record) {
        error = db_.commit();
        // Only a hold read back after the commit is called: a commit whose connection broke
        // may have been kept or not, and a record called on a claim that was not kept could be
        // called again by another rack.
        if (error.empty()) {
            error = confirm(taken);
        }
        if (!error.empty()) {
            unconfirmed_ = taken;
        }
    } else if (error.empty()) {
        // Asked in the same transaction, so at the same now(): a gap that ends between the
        // two questions is not taken for a record another rack is taking this instant.
        got = why_none(error, HandOut::other_racks);
        if (error.empty()) {
            error = db_.commit();
        }
    }
    error = failed(error);
    return error.empty() ? got : HandOut::lost;
}

HandOut SharedCampaign::look(std::string& error) {
    if (!connected()) {
        error = failed(reconnect());
        if (!error.empty()) {
            return HandOut::lost;
        }
    }
    error = touch();
    if (error.empty()) {
        error = db_.commit();
    }
    HandOut got = error.empty() ? why_none(error, HandOut::record) : HandOut::lost;
    if (error.empty()) {
        db_.rollback();
    }
    error = failed(error);
    return error.empty() ? got : HandOut::lost;
}

std::string SharedCampaign::confirm(const SharedRecord& taken) {
    core::DbStatement select(db_);
    std::string error = select.run(
        "SELECT count(*) FROM records WHERE id = CAST(? AS bigint) AND held_by = CAST(? AS bigint) "
        "AND calls = CAST(? AS integer)",
        {taken.id, rack_id_, std::to_string(taken.attempt)});
    std::vector<core::DbValue> row;
    if (error.empty() && first_row(select, row, 1, error) && text_of(row[0]) != "1") {
        error = "База кампании (" + db_.server() + "): запись не закреплена за стойкой";
    }
    if (error.empty()) {
        error = db_.commit();
    }
    return error;
}

// A claim whose commit was not confirmed was never called: if it was kept after all, its hold
// and its call are undone, so that the record is neither held to its lease's end nor counted
// for a call that never went out.
std::string SharedCampaign::undo_unconfirmed() {
    if (unconfirmed_.id.empty()) {
        return "";
    }
    core::DbStatement update(db_);
    std::string error = update.run(
        "UPDATE records SET calls = calls - 1, held_by = NULL, held_until = NULL "
        "WHERE id = CAST(? AS bigint) AND held_by = CAST(? AS bigint) AND calls = CAST(? AS "
        "integer)",
        {unconfirmed_.id, rack_id_, std::to_string(unconfirmed_.attempt)});
    if (error.empty()) {
        error = db_.commit();
    }
    if (error.empty()) {
        unconfirmed_ = {};
    }
    return error;
}

std::string SharedCampaign::touch() {
    auto now = std::chrono::steady_clock::now();
    if (now - touched_ < std::chrono::seconds(30)) {
        return "";
    }
    touched_ = now;
    core::DbStatement update(db_);
    return update.run("UPDATE racks SET last_seen = now() WHERE id = CAST(? AS bigint)",
                      {rack_id_});
}

// The fresh records first, then those the rules call again, each in list order; a record
// another rack is taking this instant is passed over, not waited for.
HandOut SharedCampaign::take_due(SharedRecord& taken, std::string& error) {
    std::vector<core::DbValue> row;
    for (const std::string& due :
         {std::string(FRESH_DUE), std::string(RETRIED) + " AND " + GAP_PASSED}) {
        core::DbStatement select(db_);
        error = select.run(
            "SELECT r.id, r.position, r.number, r.amount, r.mark FROM records r "
            "JOIN campaigns c ON c.id = r.campaign_id "
            "WHERE r.campaign_id = CAST(? AS bigint) AND " +
                std::string(FREE) + " AND " + due +
                " ORDER BY r.position LIMIT 1 FOR UPDATE OF r SKIP LOCKED",
            {campaign_id_});
        if (!error.empty()) {
            return HandOut::lost;
        }
        if (first_row(select, row, 5, error)) {
            break;
        }
        if (!error.empty()) {
            return HandOut::lost;
        }
        row.clear();
    }
    if (row.empty()) {
        return HandOut::over;  // for now: why_none tells
    }
    // Held and counted before the number goes out: a call cut short still counts.
    core::DbStatement update(db_);
    error = update.run(
        "UPDATE records SET held_by = CAST(? AS bigint), "
        "held_until = now() + CAST(? AS integer) * interval '1 second', "
        "calls = calls + 1, last_call = now() WHERE id = CAST(? AS bigint) RETURNING calls",
        {rack_id_, std::to_string(lease_seconds_), text_of(row[0])});
    std::vector<core::DbValue> calls;
    if (error.empty() && !first_row(update, calls, 1, error) && error.empty()) {
        error = "База кампании (" + db_.server() + "): запись не выдана";
    }
    if (!error.empty()) {
        return HandOut::lost;
    }
    std::string mark = text_of(row[4]);
    taken.id = text_of(row[0]);
    taken.position = std::stoi(text_of(row[1]));
    taken.line =
        db_record_line(text_of(row[2]), std::stoll(text_of(row[3])), mark.empty() ? ' ' : mark[0]);
    taken.attempt = std::stoi(text_of(calls[0]));
    return HandOut::record;
}

// No record is due now: whether one may be later, and what it waits for.
HandOut SharedCampaign::why_none(std::string& error, HandOut due_now) {
    core::DbStatement select(db_);
    std::string held = "(r.held_by IS NOT NULL AND r.held_until >= now())";
    error =
        select.run("SELECT count(*) FILTER (WHERE " + held +
                       " AND r.held_by <> CAST(? AS bigint)), "
                       "count(*) FILTER (WHERE NOT " +
                       held + " AND (" + FRESH_DUE + " OR (" + RETRIED + " AND " + GAP_PASSED +
                       "))), "
                       "count(*) FILTER (WHERE " +
                       RETRIED + " AND NOT " + GAP_PASSED + "), count(*) FILTER (WHERE " + held +
                       " AND r.held_by = CAST(? AS bigint)) "
                       "FROM records r JOIN campaigns c ON c.id = r.campaign_id "
                       "WHERE r.campaign_id = CAST(? AS bigint)",
                   {rack_id_, rack_id_, campaign_id_});
    std::vector<core::DbValue> counts;
    if (!error.empty() || !first_row(select, counts, 4, error)) {
        if (error.empty()) {
            error = "База кампании (" + db_.server() + "): нет ответа";
        }
        return HandOut::lost;
    }
    auto some = [&](int k) { return text_of(counts[k]) != "0"; };
    if (some(1)) {
        return due_now;
    }
    // Records held, by other racks or by this one's other channels, may yet come back.
    if (some(0) || some(3)) {
        return HandOut::other_racks;
    }
    if (some(2)) {
        return HandOut::retry_gap;
    }
    return HandOut::over;
}

std::string SharedCampaign::renew(const std::vector<std::string>& record_ids) {
    if (record_ids.empty()) {
        return "";
    }
    if (!connected()) {
        return failed(reconnect());
    }
    std::string ids;
    for (const std::string& id : record_ids) {
        ids += (ids.empty() ? "{" : ",") + id;
    }
    ids += "}";
    core::DbStatement update(db_);
    std::string error = update.run(
        "UPDATE records SET held_until = now() + CAST(? AS integer) * interval '1 second' "
        "WHERE held_by = CAST(? AS bigint) AND id = ANY(CAST(? AS bigint[]))",
        {std::to_string(lease_seconds_), rack_id_, ids});
    if (error.empty()) {
        error = db_.commit();
    }
    return failed(error);
}

std::string SharedCampaign::send(const SharedVerdict& verdict, bool* foreign) {
    if (!connected()) {
        std::string error = failed(reconnect());
        if (!error.empty()) {
            return error;
        }
    }
    std::string attempt = std::to_string(verdict.attempt);
    bool ours = false;
    std::string checked = is_ours(verdict, ours);
    if (!checked.empty() || !ours) {
        if (checked.empty()) {
            db_.rollback();
            if (foreign != nullptr) {
                *foreign = true;
            }
        }
        return failed(checked);
    }
    core::DbStatement insert(db_);
    std::string error = insert.run(
        "INSERT INTO results (record_id, attempt, mark, local_time, utc, rack_id, channel) "
        "VALUES (CAST(? AS bigint), CAST(? AS integer), ?, ?, to_timestamp(CAST(? AS bigint)), "
        "CAST(? AS bigint), CAST(? AS integer)) ON CONFLICT (record_id, attempt) DO NOTHING",
        {verdict.record_id, attempt, std::string(1, verdict.mark), verdict.local_time,
         std::to_string(verdict.utc), rack_id_, std::to_string(verdict.channel)});
    // Sent before: the row stands, and the mark it set may since have been followed.
    bool first_time = error.empty() && insert.changed_rows() == 1;
    if (first_time) {
        // Y is final, and X (a stop list's) is never called again; a later call's verdict
        // stands over an earlier one that comes late.
        core::DbStatement mark(db_);
        error = mark.run(
            "UPDATE records SET mark = ? WHERE id = CAST(? AS bigint) AND mark NOT IN ('Y', 'X') "
            "AND NOT EXISTS (SELECT 1 FROM results s WHERE s.record_id = records.id "
            "AND s.attempt > CAST(? AS integer))",
            {std::string(1, verdict.mark), verdict.record_id, attempt});
    }
    if (error.empty()) {
        core::DbStatement release(db_);
        error = release.run(
            "UPDATE records SET held_by = NULL, held_until = NULL "
            "WHERE id = CAST(? AS bigint) AND held_by = CAST(? AS bigint) "
            "AND calls = CAST(? AS integer)",
            {verdict.record_id, rack_id_, attempt});
    }
    if (error.empty()) {
        error = db_.commit();
    }
    return failed(error);
}

// The record is this campaign's, has the number, and the call was counted; the mark is one a
// board gives.
std::string SharedCampaign::is_ours(const SharedVerdict& verdict, bool& ours) {
    ours = false;
    if (std::string("YZN").find(verdict.mark) == std::string::npos) {
        return "";
    }
    core::DbStatement select(db_);
    std::string error = select.run(
        "SELECT count(*) FROM records WHERE id = CAST(? AS bigint) AND campaign_id = CAST(? AS "
        "bigint) AND number = ? AND calls >= CAST(? AS integer) AND CAST(? AS integer) >= 1",
        {verdict.record_id, campaign_id_, verdict.number, std::to_string(verdict.attempt),
         std::to_string(verdict.attempt)});
    std::vector<core::DbValue> row;
    if (error.empty() && first_row(select, row, 1, error)) {
        ours = text_of(row[0]) == "1";
    }
    return error;
}

std::string SharedCampaign::reconnect() {
    db_.close();
    std::string error = open_campaign_db(db_, connection_);
    if (error.empty()) {
        error = name_rack(rack_name_);
    }
    if (error.empty()) {
        error = undo_unconfirmed();
    }
    if (!error.empty()) {
        db_.rollback();
        db_.close();
    }
    return error;
}

std::string SharedCampaign::failed(const std::string& error) {
    if (!error.empty() && db_.is_open()) {
        db_.rollback();
        db_.close();
    }
    return error;
}

}  // namespace campaign
