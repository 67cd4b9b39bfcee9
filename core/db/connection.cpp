#include "db/connection.h"

#include "db/connection_string.h"
#include "db/odbc_api.h"
#include "db/wide_text.h"

namespace core {

namespace {

// How long a connection attempt may take before the server counts as unreachable.
constexpr SQLULEN LOGIN_SECONDS = 15;

// The longest connection string taken: ODBC counts its length in a short, and psqlODBC was
// seen to crash on one of some 32,000 bytes; no server, user or password needs a tenth of this.
constexpr size_t CONNECTION_BYTES = 4096;

}  // namespace

DbConnection::~DbConnection() {
    close();
}

std::string DbConnection::open(const std::string& connection) {
    close();
    server_ = server_name(connection);
    std::string failed = "Нет связи с базой кампании (" + server_ + "): ";
    if (connection.size() > CONNECTION_BYTES) {
        return failed + "строка подключения длиннее " + std::to_string(CONNECTION_BYTES) + " байт";
    }
    std::u16string wide;
    if (!utf8_to_utf16(with_silence_noticed(connection), wide)) {
        return failed + "строка подключения не в UTF-8";
    }
    SQLHENV environment = SQL_NULL_HENV;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
        return failed + "драйвер ODBC не загружен";
    }
    environment_ = environment;
    if (!succeeded(SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        std::string reason = odbc_reason(SQL_HANDLE_ENV, environment);
        close();
        return failed + reason;
    }
    SQLHDBC handle = SQL_NULL_HDBC;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &handle))) {
        std::string reason = odbc_reason(SQL_HANDLE_ENV, environment);
        close();
        return failed + reason;
    }
    connection_ = handle;
    if (!succeeded(SQLSetConnectAttrW(handle, SQL_ATTR_LOGIN_TIMEOUT,
                                      reinterpret_cast<SQLPOINTER>(LOGIN_SECONDS), 0))) {
        std::string reason = odbc_reason(SQL_HANDLE_DBC, handle);
        close();
        return failed + reason;
    }
    SQLSMALLINT length = 0;
    SQLRETURN result =
        SQLDriverConnectW(handle, nullptr, wide_buffer(wide), static_cast<SQLSMALLINT>(wide.size()),
                          nullptr, 0, &length, SQL_DRIVER_NOPROMPT);
    if (!succeeded(result)) {
        std::string reason = odbc_reason(SQL_HANDLE_DBC, handle);
        close();
        return failed + (reason.empty() ? "сервер не ответил" : reason);
    }
    connected_ = true;
    if (!succeeded(SQLSetConnectAttrW(handle, SQL_ATTR_AUTOCOMMIT,
                                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
        std::string reason = odbc_reason(SQL_HANDLE_DBC, handle);
        close();
        return failed + reason;
    }
    return "";
}

std::string DbConnection::end_transaction(short how) {
    if (connection_ == nullptr) {
        return "База кампании (" + server_ + "): соединение закрыто";
    }
    if (!succeeded(SQLEndTran(SQL_HANDLE_DBC, connection_, how))) {
        return "База кампании (" + server_ + "): " + odbc_reason(SQL_HANDLE_DBC, connection_);
    }
    return "";
}

std::string DbConnection::commit() {
    return end_transaction(SQL_COMMIT);
}

std::string DbConnection::rollback() {
    return end_transaction(SQL_ROLLBACK);
}

void DbConnection::close() {
    if (connection_ != nullptr) {
        if (connected_) {
            // What was not committed is not kept.
            SQLEndTran(SQL_HANDLE_DBC, connection_, SQL_ROLLBACK);
            SQLDisconnect(connection_);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, connection_);
        connection_ = nullptr;
        ++generation_;
    }
    connected_ = false;
    if (environment_ != nullptr) {
        SQLFreeHandle(SQL_HANDLE_ENV, environment_);
        environment_ = nullptr;
    }
}

}  // namespace core
