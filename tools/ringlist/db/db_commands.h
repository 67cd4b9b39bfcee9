#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "campaign/db/campaign_schema.h"

namespace core {
class DbConnection;
}

namespace ringlist {

// The schema and a campaign's id are the campaign layer's, shared with Dialrun.
using campaign::campaign_id;
using campaign::DB_SCHEMA_VERSION;
using campaign::open_campaign_db;

int db_init(const std::string& connection, std::ostream& out);

struct DbPushOptions {
    std::filesystem::path dir;
    std::string campaign;
    int retry = 1;                 // calls a record may get in all (Dialrun's --retry)
    int retry_gap_seconds = 7200;  // between two calls of a record
    std::string retry_marks = "ZN";
    bool append = false;
};
int db_push(const std::string& connection, const DbPushOptions& options, std::ostream& out);

int db_pull(const std::string& connection, const std::string& campaign,
            const std::filesystem::path& dir, bool force, std::ostream& out);

int db_status(const std::string& connection, std::ostream& out);

int db_exclude(const std::string& connection, const std::string& campaign,
               const std::filesystem::path& stop_file, const std::string& prefixes,
               std::ostream& out);

// The settings files' campaign-db (their general part, then [dialrun]), "" when none sets it;
// config, when given, is read last, as the programs' --config, and must be readable (else error
// says why). A file that holds a password and that others may read is warned about on warn.
std::string campaign_db_setting(const std::string& config, std::ostream& warn, std::string& error);

}  // namespace ringlist
