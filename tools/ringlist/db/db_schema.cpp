// ringlist db init: the campaign database's tables, made or checked, and their version.

#include "campaign/db/campaign_schema.h"
#include "db/connection.h"
#include "db/statement.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

// Version 1. Times that racks compare (leases, retry gaps, last calls) are the server's.
const char* const SCHEMA[] = {
    "CREATE TABLE campaigns ("
    " id bigserial PRIMARY KEY,"
    " name text NOT NULL UNIQUE,"
    " retry integer NOT NULL DEFAULT 1,"
    " retry_gap_seconds integer NOT NULL DEFAULT 7200,"
    " retry_marks text NOT NULL DEFAULT 'ZN',"
    " list_tail bytea NOT NULL DEFAULT ''::bytea,"
    " notified_log bytea NOT NULL DEFAULT ''::bytea,"
    " not_notified_log bytea NOT NULL DEFAULT ''::bytea,"
    " created timestamptz NOT NULL DEFAULT now())",
    "CREATE TABLE racks ("
    " id bigserial PRIMARY KEY,"
    " name text NOT NULL UNIQUE,"
    " last_seen timestamptz)",
    "CREATE TABLE records ("
    " id bigserial PRIMARY KEY,"
    " campaign_id bigint NOT NULL REFERENCES campaigns(id),"
    " position integer NOT NULL,"
    " number text NOT NULL,"
    " amount bigint NOT NULL,"
    " mark text NOT NULL DEFAULT ' ',"
    " calls integer NOT NULL DEFAULT 0,"
    " last_call timestamptz,"
    " held_by bigint REFERENCES racks(id),"
    " held_until timestamptz,"
    " UNIQUE (campaign_id, position))",
    "CREATE INDEX records_number ON records (campaign_id, number)",
    "CREATE TABLE results ("
    " id bigserial PRIMARY KEY,"
    " record_id bigint NOT NULL REFERENCES records(id),"
    " attempt integer NOT NULL,"
    " mark text NOT NULL,"
    " local_time text NOT NULL,"
    " utc timestamptz NOT NULL,"
    " rack_id bigint REFERENCES racks(id),"
    " channel integer,"
    " UNIQUE (record_id, attempt))",
};

// From version 1 to 2: the hand-out walks only the records that may still be called, in list
// order, rather than every record of the campaign past the notified ones.
const char* const TO_VERSION_2[] = {
    "CREATE INDEX records_open ON records (campaign_id, position) WHERE mark NOT IN ('Y', 'X')",
    "ANALYZE records",
};

template <size_t N>
std::string run_each(core::DbConnection& db, const char* const (&statements)[N]) {
    for (const char* sql : statements) {
        core::DbStatement statement(db);
        std::string error = statement.run(sql);
        if (!error.empty()) {
            return error;
        }
    }
    return "";
}

// From the version the database has (0: none) to this build's, in one transaction.
std::string upgrade(core::DbConnection& db, int from) {
    std::string error = from == 0 ? run_each(db, SCHEMA) : "";
    if (error.empty() && from < 2) {
        error = run_each(db, TO_VERSION_2);
    }
    if (!error.empty()) {
        return error;
    }
    core::DbStatement version(db);
    return version.run("INSERT INTO schema_version (version) VALUES (CAST(? AS integer))",
                       {std::to_string(DB_SCHEMA_VERSION)});
}

}  // namespace

int db_init(const std::string& connection, std::ostream& out) {
    core::DbConnection db;
    std::string error = db.open(connection);
    if (!error.empty()) {
        out << error << "\n";
        return REFUSED;
    }
    // One init at a time: the table is made if need be, then locked to the end of the work.
    core::DbStatement table(db);
    error = table.run("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)");
    if (error.empty()) {
        error = db.commit();
    }
    if (error.empty()) {
        core::DbStatement lock(db);
        error = lock.run("LOCK TABLE schema_version IN EXCLUSIVE MODE");
    }
    int version = error.empty() ? campaign::stored_schema_version(db, error) : -1;
    if (version > DB_SCHEMA_VERSION) {
        out << campaign::newer_schema(db, version) << "\n";
        return REFUSED;
    }
    if (version == DB_SCHEMA_VERSION) {
        out << "Схема базы кампании (" << db.server() << ") уже версии " << version
            << ", ничего не изменено\n";
        return DONE;
    }
    if (error.empty()) {
        error = upgrade(db, version);
    }
    if (error.empty()) {
        error = db.commit();
    }
    if (!error.empty()) {
        out << (version > 0 ? "Схема не обновлена: " : "Схема не создана: ") << error << "\n";
        return REFUSED;
    }
    out << "Схема базы кампании (" << db.server() << ") "
        << (version > 0 ? "обновлена с версии " + std::to_string(version) + " до версии "
                        : std::string("создана, версия "))
        << DB_SCHEMA_VERSION << "\n";
    return DONE;
}

}  // namespace ringlist
