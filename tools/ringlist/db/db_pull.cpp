// ringlist db pull: one snapshot of a campaign as the files one Dialrun would have written:
// Ring.TXT, its attempts, RINGY.txt and RINGN.txt (lines in the order the verdicts were
// committed).

#include <cstdio>
#include <map>

#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "campaign/result_log.h"
#include "db/connection.h"
#include "db/statement.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/db/db_list_text.h"
#include "ringlist/held_list.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

// A new file of subscribers' numbers that no list gave a mode: for its owner alone.
constexpr unsigned PRIVATE_MODE = 0600;

struct Snapshot {
    std::string list;
    std::string notified;      // RINGY.txt
    std::string not_notified;  // RINGN.txt
    campaign::Attempts attempts;
};

// Reads every row of a statement, each as its columns' texts (NULL as "").
std::string rows_of(core::DbStatement& select, size_t columns,
                    std::vector<std::vector<std::string>>& rows) {
    std::string error;
    while (select.next(error)) {
        std::vector<std::string> row;
        for (size_t k = 0; k < columns && error.empty(); ++k) {
            row.push_back(select.text(static_cast<int>(k), error).value_or(""));
        }
        if (!error.empty()) {
            return error;
        }
        rows.push_back(row);
    }
    return error;
}

std::string read_records(core::DbConnection& db, const std::string& id, Snapshot& snapshot) {
    core::DbStatement select(db);
    std::string error = select.run(
        "SELECT position, number, amount, mark, calls, "
        "CAST(extract(epoch FROM last_call) AS bigint) FROM records "
        "WHERE campaign_id = CAST(? AS bigint) ORDER BY position",
        {id});
    std::vector<std::vector<std::string>> rows;
    if (error.empty()) {
        error = rows_of(select, 6, rows);
    }
    for (const auto& row : rows) {
        char mark = row[3].size() == 1 ? row[3][0] : ' ';
        snapshot.list += db_record_line(row[1], std::stoll(row[2]), mark);
        if (!row[5].empty()) {
            snapshot.attempts.set(std::stoi(row[0]), row[1],
                                  {std::stoi(row[4]), std::stoll(row[5])});
        }
    }
    return error;
}

// The list's bytes after its end, and the logs as they were pushed: the verdicts' lines follow.
std::string read_tail(core::DbConnection& db, const std::string& id, Snapshot& snapshot) {
    core::DbStatement select(db);
    std::string error = select.run(
        "SELECT encode(list_tail, 'hex'), encode(notified_log, 'hex'), "
        "encode(not_notified_log, 'hex') FROM campaigns WHERE id = CAST(? AS bigint)",
        {id});
    std::vector<std::vector<std::string>> rows;
    if (error.empty()) {
        error = rows_of(select, 3, rows);
    }
    if (error.empty() && rows.size() == 1) {
        snapshot.list += from_hex(rows[0][0]);
        snapshot.notified = from_hex(rows[0][1]);
        snapshot.not_notified = from_hex(rows[0][2]);
    }
    return error;
}

// The verdicts' log lines; local_time is "YYYY-MM-DD HH:MM:SS" on the rack's clock.
std::string read_results(core::DbConnection& db, const std::string& id, Snapshot& snapshot) {
    core::DbStatement select(db);
    std::string error = select.run(
        "SELECT r.number, s.mark, s.local_time FROM results s "
        "JOIN records r ON r.id = s.record_id WHERE r.campaign_id = CAST(? AS bigint) "
        "ORDER BY s.id",
        {id});
    std::vector<std::vector<std::string>> rows;
    if (error.empty()) {
        error = rows_of(select, 3, rows);
    }
    for (const auto& row : rows) {
        core::LocalTime when;
        if (std::sscanf(row[2].c_str(), "%d-%d-%d %d:%d:%d", &when.year, &when.month, &when.day,
                        &when.hour, &when.minute, &when.second) != 6) {
            return "время результата \"" + row[2] + "\" не в виде ГГГГ-ММ-ДД ЧЧ:ММ:СС";
        }
        if (row[1] == "Y") {
            snapshot.notified += campaign::result_log_line(row[0], when, ' ');
        } else {
            snapshot.not_notified +=
                campaign::result_log_line(row[0], when, row[1].empty() ? 'N' : row[1][0]);
        }
    }
    return error;
}

std::string write_snapshot(const std::filesystem::path& dir, const Snapshot& snapshot) {
    std::filesystem::path list = dir / "Ring.TXT";
    unsigned mode = core::file_mode(list);
    if (mode == 0) {
        mode = PRIVATE_MODE;
    }
    std::string error = core::replace_file(dir / "RINGY.txt", snapshot.notified, mode);
    if (error.empty()) {
        error = core::replace_file(dir / "RINGN.txt", snapshot.not_notified, mode);
    }
    std::filesystem::path attempts = campaign::attempts_path(list);
    std::error_code ec;
    if (error.empty() && !snapshot.attempts.empty()) {
        error = core::replace_file(attempts, snapshot.attempts.text(), mode);
    } else if (error.empty() && std::filesystem::remove(attempts, ec) && !ec) {
        error = core::sync_folder(dir);
    } else if (ec) {
        error = core::path_utf8(attempts) + ": " + ec.message();
    }
    return error.empty() ? core::replace_file(list, snapshot.list, mode) : error;
}

const char* const SNAPSHOT_FILES[] = {"Ring.TXT", "Ring.TXT.attempts", "RINGY.txt", "RINGN.txt"};

// Each file that --force replaces is kept beside it first, as the list's dated .bak; names
// lists the copies.
std::string keep_backups(const std::filesystem::path& dir, std::string& names) {
    for (const char* name : SNAPSHOT_FILES) {
        std::filesystem::path file = dir / name;
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) {
            continue;
        }
        std::string error;
        std::string bytes = core::read_regular_file(file, error, core::LARGEST_INPUT);
        std::string backup = backup_name(file);
        if (error.empty()) {
            unsigned mode = core::file_mode(file);
            error = core::replace_file(dir / core::utf8_path(backup), bytes,
                                       mode == 0 ? PRIVATE_MODE : mode);
        }
        if (!error.empty()) {
            return "копия " + core::path_utf8(file) + " не записана: " + error;
        }
        names += (names.empty() ? "" : ", ") + backup;
    }
    return "";
}

// The files there are already, by name; "" when none.
std::string existing_files(const std::filesystem::path& dir) {
    std::string names;
    for (const char* name : SNAPSHOT_FILES) {
        std::error_code ec;
        if (std::filesystem::exists(dir / name, ec)) {
            names += (names.empty() ? "" : ", ") + std::string(name);
        }
    }
    return names;
}

}  // namespace

int db_pull(const std::string& connection, const std::string& campaign,
            const std::filesystem::path& dir, bool force, std::ostream& out) {
    std::string there = existing_files(dir);
    if (!there.empty() && !force) {
        out << "Файлы не записаны: в " << core::path_utf8(dir) << " уже есть " << there
            << " (заменить: --force)\n";
        return REFUSED;
    }
    core::DbConnection db;
    std::string error = open_campaign_db(db, connection);
    if (error.empty()) {
        // One snapshot: the records and the verdicts as of one moment.
        core::DbStatement repeatable(db);
        error = repeatable.run("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
    }
    std::string id;
    if (error.empty()) {
        id = campaign_id(db, campaign, error);
        if (error.empty() && id.empty()) {
            error = "кампании \"" + campaign + "\" нет в базе";
        }
    }
    Snapshot snapshot;
    for (auto read : {read_records, read_tail, read_results}) {
        if (error.empty()) {
            error = read(db, id, snapshot);
        }
    }
    db.rollback();
    std::error_code ec;
    if (error.empty() && !std::filesystem::create_directories(dir, ec) && ec) {
        error = core::path_utf8(dir) + ": " + ec.message();
    }
    std::string backups;
    if (error.empty() && !there.empty()) {
        error = keep_backups(dir, backups);
    }
    if (error.empty()) {
        error = write_snapshot(dir, snapshot);
    }
    if (!error.empty()) {
        out << "Файлы не записаны: " << error << "\n";
        return REFUSED;
    }
    out << "Кампания \"" << campaign << "\" записана в " << core::path_utf8(dir) << "\n";
    if (!backups.empty()) {
        out << "Прежние файлы сохранены рядом: " << backups << "\n";
    }
    return DONE;
}

}  // namespace ringlist
