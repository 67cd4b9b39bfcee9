// The campaign database's schema version and a campaign's id: what ringlist db and Dialrun
// both look at before they touch a campaign.
#include "campaign/db/campaign_schema.h"

#include "db/connection.h"
#include "db/statement.h"

namespace campaign {

// The version the database holds: 0 for none yet, -1 with error set when it cannot be read.
int stored_schema_version(core::DbConnection& db, std::string& error) {
    core::DbStatement select(db);
    error = select.run("SELECT max(version) FROM schema_version");
    if (!error.empty()) {
        return -1;
    }
    if (!select.next(error)) {
        return error.empty() ? 0 : -1;
    }
    core::DbValue value = select.text(0, error);
    return !error.empty() ? -1 : value ? std::stoi(*value) : 0;
}

std::string newer_schema(const core::DbConnection& db, int version) {
    return "База кампании (" + db.server() + "): схема версии " + std::to_string(version) +
           " новее этой программы (она знает версию " + std::to_string(DB_SCHEMA_VERSION) +
           "): нужен более новый ringlist";
}

std::string open_campaign_db(core::DbConnection& db, const std::string& connection) {
    std::string error = db.open(connection);
    if (!error.empty()) {
        return error;
    }
    int version = stored_schema_version(db, error);
    db.rollback();
    // Only a missing table means no schema: no rights on it, or a connection lost, is said as
    // it is, not answered with db init.
    if (version < 0 && error.find("[42P01]") == std::string::npos) {
        return error;
    }
    if (version < 0 || version == 0) {
        return "База кампании (" + db.server() + "): схемы нет, сначала ringlist db init" +
               (error.empty() ? "" : " (" + error + ")");
    }
    if (version > DB_SCHEMA_VERSION) {
        return newer_schema(db, version);
    }
    return "";
}

std::string campaign_id(core::DbConnection& db, const std::string& name, std::string& error) {
    core::DbStatement select(db);
    error = select.run("SELECT id FROM campaigns WHERE name = ?", {name});
    if (!error.empty() || !select.next(error)) {
        return "";
    }
    core::DbValue id = select.text(0, error);
    return id ? *id : "";
}

}  // namespace campaign
