// ringlist db push: a list, its marks, its end and what follows it, and its attempts, loaded
// as they are into a campaign of the database.

#include <set>

#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "db/connection.h"
#include "db/statement.h"
#include "db/wide_text.h"
#include "ringlist/campaign_folder.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/db/db_list_text.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

// Records go to the server this many at a time, each column as one text of lines.
constexpr size_t RECORDS_PER_STATEMENT = 5000;

// A log line, like a record, starts with its seven-digit number.
constexpr size_t NUMBER_COLUMNS = 7;

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

// The numbers a campaign holds already.
std::string numbers_in(core::DbConnection& db, const std::string& id,
                       std::set<std::string>& numbers) {
    core::DbStatement select(db);
    std::string error =
        select.run("SELECT number FROM records WHERE campaign_id = CAST(? AS bigint)", {id});
    while (error.empty() && select.next(error)) {
        core::DbValue value = select.text(0, error);
        if (value) {
            numbers.insert(*value);
        }
    }
    return error;
}

// The lines of a log whose numbers the campaign does not hold yet, as they are.
std::string lines_not_in(const std::string& log, const std::set<std::string>& numbers) {
    std::string kept;
    for (size_t at = 0; at < log.size();) {
        size_t end = log.find('\n', at);
        end = end == std::string::npos ? log.size() : end + 1;
        if (numbers.count(log.substr(at, NUMBER_COLUMNS)) == 0) {
            kept += log.substr(at, end - at);
        }
        at = end;
    }
    return kept;
}

// The campaign to load into: a new one, or with append the one there is, whose numbers are
// put in held. Sets first to the position its records end at.
std::string target_campaign(core::DbConnection& db, const DbPushOptions& options,
                            const CampaignFolder& folder, const std::string& tail, std::string& id,
                            int& first, std::set<std::string>& held) {
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
        if (error.empty()) {
            error = numbers_in(db, id, held);
        }
        if (error.empty()) {
            // The logs' lines of the records taken follow those already kept.
            core::DbStatement logs(db);
            error = logs.run(
                "UPDATE campaigns SET notified_log = notified_log || decode(?, 'hex'), "
                "not_notified_log = not_notified_log || decode(?, 'hex') "
                "WHERE id = CAST(? AS bigint)",
                {to_hex(lines_not_in(folder.notified_bytes, held)),
                 to_hex(lines_not_in(folder.not_notified_bytes, held)), id});
        }
        return error;
    }
    core::DbStatement insert(db);
    error = insert.run(
        "INSERT INTO campaigns (name, retry, retry_gap_seconds, retry_marks, list_tail, "
        "notified_log, not_notified_log) "
        "VALUES (?, CAST(? AS integer), CAST(? AS integer), ?, decode(?, 'hex'), "
        "decode(?, 'hex'), decode(?, 'hex')) RETURNING id",
        {options.campaign, std::to_string(options.retry), std::to_string(options.retry_gap_seconds),
         options.retry_marks, to_hex(tail), to_hex(folder.notified_bytes),
         to_hex(folder.not_notified_bytes)});
    if (error.empty() && insert.next(error)) {
        core::DbValue value = insert.text(0, error);
        id = value ? *value : "";
    }
    first = 0;
    return error;
}

// Why a name cannot be a campaign's, or "": db status prints it on a line of its own.
std::string name_fault(const std::string& name) {
    std::u16string wide;
    if (!core::utf8_to_utf16(name, wide)) {
        return "имя кампании - не текст UTF-8";
    }
    bool blank = true;
    for (char16_t c : wide) {
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {
            return "в имени кампании управляющий знак (перевод строки, табуляция и т. п.)";
        }
        blank = blank && c == ' ';
    }
    return blank ? "имя кампании пустое или из одних пробелов" : "";
}

// Loads the folder; left counts the records passed over because the campaign had their number.
std::string load(core::DbConnection& db, const DbPushOptions& options, const CampaignFolder& folder,
                 const campaign::Attempts& attempts, size_t& left) {
    size_t list_end = folder.records.size() * campaign::RECORD_SIZE;
    std::string id;
    int first = 0;
    std::set<std::string> held;
    std::string error =
        target_campaign(db, options, folder, folder.list_bytes.substr(list_end), id, first, held);
    left = 0;
    int position = first;
    RecordColumns columns;
    size_t in_columns = 0;
    for (size_t k = 0; error.empty() && k < folder.records.size(); ++k) {
        const ListRecord& record = folder.records[k];
        if (held.count(record.number) != 0) {
            ++left;
            continue;
        }
        campaign::Attempt attempt = attempts.of(static_cast<int>(k + 1), record.number);
        columns.add(record, attempt, attempt.count > 0 || attempt.last_call != 0);
        if (++in_columns == RECORDS_PER_STATEMENT) {
            error = insert_records(db, id, position, columns);
            position += static_cast<int>(in_columns);
            columns = RecordColumns();
            in_columns = 0;
        }
    }
    if (error.empty() && in_columns > 0) {
        error = insert_records(db, id, position, columns);
    }
    if (error.empty()) {
        // The planner's counts as the records now are, so that the first hand-outs already take
        // the index rather than read the whole campaign.
        core::DbStatement analyze(db);
        error = analyze.run("ANALYZE records");
    }
    return error.empty() ? db.commit() : error;
}

}  // namespace

int db_push(const std::string& connection, const DbPushOptions& options, std::ostream& out) {
    std::string fault = name_fault(options.campaign);
    if (!fault.empty()) {
        out << "В базу ничего не записано: " << fault << "\n";
        return REFUSED;
    }
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
    size_t left = 0;
    if (error.empty()) {
        error = load(db, options, folder, attempts, left);
    }
    if (!error.empty()) {
        out << "В базу ничего не записано: " << error << "\n";
        return REFUSED;
    }
    out << "В кампанию \"" << options.campaign
        << "\" записано записей: " << folder.records.size() - left;
    if (left > 0) {
        out << ", пропущено номеров, которые уже есть в кампании: " << left;
    }
    out << "\n";
    return DONE;
}

}  // namespace ringlist
