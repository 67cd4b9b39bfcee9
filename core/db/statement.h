#pragma once

#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"

namespace core {

// A value for a "?" of a statement: text, or SQL's NULL. Numbers go as their digits and the SQL
// casts them ("CAST(? AS integer)"): every value is bound, never pasted into the SQL.
using DbValue = std::optional<std::string>;

// One SQL statement on a connection, run once, its rows read in order; its columns are read
// as text.
class DbStatement {
  public:
    explicit DbStatement(DbConnection& connection);
    ~DbStatement();
    DbStatement(const DbStatement&) = delete;
    DbStatement& operator=(const DbStatement&) = delete;

    // Prepares and runs sql with values bound to its "?" in order. Returns "" or the reason,
    // naming the server.
    std::string run(const std::string& sql, const std::vector<DbValue>& values = {});
    // The next row: true while there is one; false at the end, or with error set.
    bool next(std::string& error);
    // A column of the current row, from 0, as text; none for NULL.
    DbValue text(int column, std::string& error);
    // Rows changed by an INSERT, UPDATE or DELETE.
    long changed_rows();

  private:
    std::string failure(const std::string& what);

    DbConnection& connection_;
    void* statement_ = nullptr;
    unsigned generation_ = 0;  // the connection's when the handle was made
};

}  // namespace core
