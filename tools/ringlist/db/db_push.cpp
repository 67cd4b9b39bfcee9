// ringlist db push: a list, its marks, its end and what follows it, and its attempts, loaded
// as they are into a campaign of the database.

#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "db/connection.h"
#include "db/statement.h"
#include "ringlist/campaign_folder.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/db/db_list_text.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

// Records go to the server this many at a time, each column as one text of lines.
constexpr size_t RECORDS_PER_STATEMENT = 5000;

// The columns of the records to load, a line per record.
struct RecordColumns {
    std::string numbers, amounts, marks, calls, last_calls;
    void add(const ListRecord& record, const campaign::Attempt& attempt, bool called) {
        const char* sep = numbers.empty() ? "" : "\n";
        numbers += sep + record.number;
        amounts += sep + std::to_string(record.amount);
        marks += sep + std::string(1, record.mark);
        calls += sep + std::to_string(attempt.count);
        last_calls += sep + (called ? std::to_string(attempt.last_call) : std::string());
    }
};

// What keeps a list from coming back byte for byte from the database, or "".
std::string unkept(const CampaignFolder& folder) {
    if (!folder.review.faults.empty()) {
        return "в списке ошибка, " + fault_place(folder.review.faults.front());
    }
    size_t expected = 0;
    int line = 1;
    for (const ListRecord& record : folder.records) {
        if (record.offset != expected ||
            folder.list_bytes.compare(record.offset, campaign::RECORD_SIZE,
                                      db_record_line(record.number, record.amount, record.mark)) !=
                0) {
            return "строка " + std::to_string(line) +
                   " записана не так, как ее пишет import (номер, два пробела, сумма в "
                   "позициях 10-16, пробел, отметка, CR LF)";
        }
        if (record.mark < ' ' || record.mark > '~') {
            return "строка " + std::to_string(line) + ": отметка - не буква и не пробел";
        }
        expected += campaign::RECORD_SIZE;
        ++line;
    }
    return "";
}

std::string insert_records(core::DbConnection& db, const std::string& campaign, int first,
                           const RecordColumns& columns) {
    core::DbStatement insert(db);
    return insert.run(
        "INSERT INTO records (campaign_id, position, number, amount, mark, calls, last_call) "
        "SELECT CAST(? AS bigint), CAST(? AS integer) + CAST(r.ord AS integer), r.number, "
        "CAST(r.amount AS bigint), r.mark, CAST(r.calls AS integer), "
        "to_timestamp(CAST(NULLIF(r.last_call, '') AS bigint)) "
        "FROM unnest(string_to_array(?, chr(10)), string_to_array(?, chr(10)), "
        "string_to_array(?, chr(10)), string_to_array(?, chr(10)), string_to_array(?, chr(10))) "
        "WITH ORDINALITY AS r(number, amount, mark, calls, last_call, ord)",
        {campaign, std::to_string(first), columns.numbers, columns.amounts, columns.marks,
         columns.calls, columns.last_calls});
}

// The campaign to load into: a new one, or with append the one there is. Sets first to the
// position its records end at.
std::string target_campaign(core::DbConnection& db, const DbPushOptions& options,
                            const std::string& tail, std::string& id, int& first) {
    std::string error;
    id = campaign_id(db, options.campaign, error);
    if (!error.empty()) {
        return error;
    }
    if (!id.empty()) {
        if (!options.append) {
            return "кампания \"" + options.campaign +
                   "\" уже есть в базе (дописать записи в ее конец: --append)";
        }
        core::DbStatement last(db);
        error = last.run(
            "SELECT coalesce(max(position), 0) FROM records WHERE campaign_id = "
            "CAST(? AS bigint)",
            {id});
        if (error.empty() && last.next(error)) {
            core::DbValue value = last.text(0, error);
            first = value ? std::stoi(*value) : 0;
        }
        return error;
    }
    core::DbStatement insert(db);
    error = insert.run(
        "INSERT INTO campaigns (name, retry, retry_gap_seconds, retry_marks, list_tail) "
        "VALUES (?, CAST(? AS integer), CAST(? AS integer), ?, decode(?, 'hex')) RETURNING id",
        {options.campaign, std::to_string(options.retry), std::to_string(options.retry_gap_seconds),
         options.retry_marks, to_hex(tail)});
    if (error.empty() && insert.next(error)) {
        core::DbValue value = insert.text(0, error);
        id = value ? *value : "";
    }
    first = 0;
    return error;
}

std::string load(core::DbConnection& db, const DbPushOptions& options, const CampaignFolder& folder,
                 const campaign::Attempts& attempts) {
    size_t list_end = folder.records.size() * campaign::RECORD_SIZE;
    std::string id;
    int first = 0;
    std::string error = target_campaign(db, options, folder.list_bytes.substr(list_end), id, first);
    for (size_t at = 0; error.empty() && at < folder.records.size(); at += RECORDS_PER_STATEMENT) {
        RecordColumns columns;
        for (size_t k = at; k < folder.records.size() && k < at + RECORDS_PER_STATEMENT; ++k) {
            const ListRecord& record = folder.records[k];
            campaign::Attempt attempt = attempts.of(static_cast<int>(k + 1), record.number);
            columns.add(record, attempt, attempt.count > 0 || attempt.last_call != 0);
        }
        error = insert_records(db, id, first + static_cast<int>(at), columns);
    }
    return error.empty() ? db.commit() : error;
}

}  // namespace

int db_push(const std::string& connection, const DbPushOptions& options, std::ostream& out) {
    CampaignFolder folder;
    std::string error = read_folder(options.dir, folder);
    if (error.empty()) {
        error = unkept(folder);
    }
    campaign::Attempts attempts;
    if (error.empty()) {
        std::string reason;
        campaign::Attempts read = campaign::read_attempts(folder.list_path, reason);
        int unmatched = 0;
        attempts = read.matched_to(campaign::list_numbers(folder.list_bytes), unmatched);
        error = !reason.empty() ? "файл попыток не прочитан: " + reason
                : unmatched > 0 ? campaign::unmatched_text(unmatched)
                                : "";
    }
    if (!error.empty()) {
        out << "В базу ничего не записано: " << core::path_utf8(folder.list_path) << ": " << error
            << "\n";
        return REFUSED;
    }
    core::DbConnection db;
    error = open_campaign_db(db, connection);
    if (error.empty()) {
        error = load(db, options, folder, attempts);
    }
    if (!error.empty()) {
        out << "В базу ничего не записано: " << error << "\n";
        return REFUSED;
    }
    out << "В кампанию \"" << options.campaign << "\" записано записей: " << folder.records.size()
        << "\n";
    return DONE;
}

}  // namespace ringlist
