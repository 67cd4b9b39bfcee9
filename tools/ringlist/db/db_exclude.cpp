// ringlist db exclude: a stop list's numbers marked X in a campaign, as exclude does in a list.

#include <set>

#include "db/connection.h"
#include "db/statement.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/import/number_rules.h"
#include "ringlist/import/stop_list.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

// Marks the records and says how many, by the mark they had. Never over Y: that subscriber
// was told.
std::string mark_excluded(core::DbConnection& db, const std::string& id,
                          const std::set<std::string>& stop, std::ostream& out) {
    std::string numbers;
    for (const std::string& number : stop) {
        numbers += (numbers.empty() ? "" : "\n") + number;
    }
    core::DbStatement update(db);
    std::string error = update.run(
        "WITH old AS (SELECT id, mark FROM records WHERE campaign_id = CAST(? AS bigint) "
        " AND mark IN (' ', 'Z', 'N', 'Y') AND number = ANY (string_to_array(?, chr(10))) "
        " FOR UPDATE), "
        "marked AS (UPDATE records r SET mark = ? FROM old WHERE r.id = old.id "
        " AND old.mark <> 'Y') "
        "SELECT mark, count(*) FROM old GROUP BY mark ORDER BY mark",
        {id, numbers, std::string(1, EXCLUDED_MARK)});
    int total = 0;
    std::string notified = "0";  // Y: told already, never marked over
    std::string counts;
    while (error.empty() && update.next(error)) {
        std::string mark = update.text(0, error).value_or(" ");
        std::string count = update.text(1, error).value_or("0");
        if (mark == "Y") {
            notified = count;
            continue;
        }
        counts += (counts.empty() ? "" : ", ") + (mark == " " ? std::string("без отметки") : mark) +
                  ": " + count;
        total += error.empty() ? std::stoi(count) : 0;
    }
    if (error.empty()) {
        error = db.commit();
    }
    if (error.empty()) {
        out << "Исключено записей: " << total;
        if (total > 0) {
            out << " (" << counts << "), отмечены " << EXCLUDED_MARK;
        }
        if (notified != "0") {
            out << "; пропущено номеров с отметкой Y (уже оповещены): " << notified;
        }
        out << "\n";
    }
    return error;
}

}  // namespace

int db_exclude(const std::string& connection, const std::string& campaign,
               const std::filesystem::path& stop_file, const std::string& prefix_text,
               std::ostream& out) {
    std::vector<std::string> prefixes;
    if (!prefix_option(prefix_text, prefixes, out)) {
        return USAGE;
    }
    std::set<std::string> stop;
    std::string error = read_stop_list(stop_file, prefixes, stop);
    core::DbConnection db;
    if (error.empty()) {
        error = open_campaign_db(db, connection);
    }
    std::string id;
    if (error.empty()) {
        id = campaign_id(db, campaign, error);
        if (error.empty() && id.empty()) {
            error = "кампании \"" + campaign + "\" нет в базе";
        }
    }
    if (error.empty()) {
        error = mark_excluded(db, id, stop, out);
    }
    if (!error.empty()) {
        out << "Кампания не изменена: " << error << "\n";
        return REFUSED;
    }
    return DONE;
}

}  // namespace ringlist
