#pragma once

#include <string>

namespace core {

// One connection to a database through ODBC, with its environment. Autocommit is off: what a
// caller changes stands only after commit(), and a connection closed or lost before it leaves
// the database as it was.
class DbConnection {
  public:
    DbConnection() = default;
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // Connects by an ODBC connection string. Returns "" or why not, naming the server and the
    // reason the driver gives (never the password).
    std::string open(const std::string& connection);
    std::string commit();
    std::string rollback();
    void close();
    bool is_open() const { return connection_ != nullptr; }

    // The server as messages name it ("db1:5432").
    const std::string& server() const { return server_; }
    // The ODBC connection handle, for the statements.
    void* handle() const { return connection_; }
    // Counts the connections closed: a statement made on an earlier one has had its handle
    // freed with it, and must not free it again.
    unsigned generation() const { return generation_; }

  private:
    std::string end_transaction(short how);

    void* environment_ = nullptr;
    void* connection_ = nullptr;
    bool connected_ = false;
    unsigned generation_ = 0;
    std::string server_;
};

}  // namespace core
