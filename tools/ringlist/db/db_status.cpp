// ringlist db status: each campaign's records by mark and its calls in the last hour; each
// rack's records held now and its last call.

#include "db/connection.h"
#include "db/statement.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

std::string print_campaigns(core::DbConnection& db, std::ostream& out) {
    core::DbStatement select(db);
    std::string error = select.run(
        "SELECT c.name, "
        " (SELECT count(*) FROM records r WHERE r.campaign_id = c.id), "
        " (SELECT string_agg(m.mark || '=' || m.n, chr(10) ORDER BY m.mark) FROM "
        "  (SELECT mark, count(*) AS n FROM records r WHERE r.campaign_id = c.id GROUP BY mark) m),"
        " (SELECT count(*) FROM results s JOIN records r ON r.id = s.record_id "
        "  WHERE r.campaign_id = c.id AND s.utc > now() - interval '1 hour') "
        "FROM campaigns c ORDER BY c.name");
    bool any = false;
    while (error.empty() && select.next(error)) {
        std::string name = select.text(0, error).value_or("");
        std::string total = select.text(1, error).value_or("0");
        std::string marks = select.text(2, error).value_or("");
        std::string hour = select.text(3, error).value_or("0");
        out << "Кампания \"" << name << "\": записей " << total;
        for (size_t at = 0; at < marks.size();) {
            size_t end = marks.find('\n', at);
            std::string entry = marks.substr(at, end == std::string::npos ? end : end - at);
            // "M=count": a blank mark is the record not called yet.
            out << ", " << (entry[0] == ' ' ? std::string("без отметки") : entry.substr(0, 1))
                << ": " << entry.substr(2);
            at = end == std::string::npos ? marks.size() : end + 1;
        }
        out << "; звонков за последний час: " << hour << "\n";
        any = true;
    }
    if (error.empty() && !any) {
        out << "Кампаний в базе нет\n";
    }
    return error;
}

std::string print_racks(core::DbConnection& db, std::ostream& out) {
    core::DbStatement select(db);
    std::string error = select.run(
        "SELECT k.name, "
        " (SELECT count(*) FROM records r WHERE r.held_by = k.id AND r.held_until > now()), "
        " (SELECT to_char(max(s.utc) AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') "
        "  FROM results s WHERE s.rack_id = k.id) "
        "FROM racks k ORDER BY k.name");
    while (error.empty() && select.next(error)) {
        std::string name = select.text(0, error).value_or("");
        std::string held = select.text(1, error).value_or("0");
        core::DbValue last = select.text(2, error);
        out << "Стойка \"" << name << "\": держит записей " << held << ", последний звонок "
            << (last ? *last + " UTC" : std::string("не было")) << "\n";
    }
    return error;
}

}  // namespace

int db_status(const std::string& connection, std::ostream& out) {
    core::DbConnection db;
    std::string error = open_campaign_db(db, connection);
    if (error.empty()) {
        error = print_campaigns(db, out);
    }
    if (error.empty()) {
        error = print_racks(db, out);
    }
    db.rollback();
    if (!error.empty()) {
        out << error << "\n";
        return REFUSED;
    }
    return DONE;
}

}  // namespace ringlist
