#pragma once

#include <string>

namespace core {
class DbConnection;
}

namespace campaign {

// The campaign database's schema that this build writes and reads; a newer one is refused.
// Version 2 adds an index for the hand-out; a database of version 1 is read as well.
constexpr int DB_SCHEMA_VERSION = 2;

// The version the database holds: 0 for none yet, -1 with error set when it cannot be read.
int stored_schema_version(core::DbConnection& db, std::string& error);
// The refusal of a database whose schema is newer than this build's.
std::string newer_schema(const core::DbConnection& db, int version);
// Connects and checks that the schema is this one. Returns "" or why not.
std::string open_campaign_db(core::DbConnection& db, const std::string& connection);
// A campaign's id by its name; "" when there is none (error says why when the look failed).
std::string campaign_id(core::DbConnection& db, const std::string& name, std::string& error);

}  // namespace campaign
