#include "db/statement.h"

#include "db/odbc_api.h"
#include "db/wide_text.h"

namespace core {

namespace {

// Longer text goes as a long column: drivers keep the plain one to a few thousand characters.
constexpr size_t LONGEST_PLAIN_TEXT = 4000;

}  // namespace

DbStatement::DbStatement(DbConnection& connection) : connection_(connection) {}

DbStatement::~DbStatement() {
    // A connection closed since (a lost one, given up) freed its statements with it.
    if (statement_ != nullptr && connection_.generation() == generation_ &&
        connection_.handle() != nullptr) {
        SQLFreeHandle(SQL_HANDLE_STMT, statement_);
    }
}

std::string DbStatement::failure(const std::string& what) {
    std::string reason = statement_ != nullptr ? odbc_reason(SQL_HANDLE_STMT, statement_) : "";
    if (reason.empty() && connection_.handle() != nullptr) {
        reason = odbc_reason(SQL_HANDLE_DBC, connection_.handle());
    }
    return "База кампании (" + connection_.server() + "): " + what +
           (reason.empty() ? "" : ": " + reason);
}

std::string DbStatement::run(const std::string& sql, const std::vector<DbValue>& values) {
    if (statement_ != nullptr || connection_.handle() == nullptr) {
        return failure("запрос не выполнен: соединение закрыто");
    }
    SQLHSTMT handle = SQL_NULL_HSTMT;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection_.handle(), &handle))) {
        return failure("запрос не выполнен");
    }
    statement_ = handle;
    generation_ = connection_.generation();
    std::u16string wide_sql;
    if (!utf8_to_utf16(sql, wide_sql)) {
        return failure("текст запроса не в UTF-8");
    }
    if (!succeeded(
            SQLPrepareW(handle, wide_buffer(wide_sql), static_cast<SQLINTEGER>(wide_sql.size())))) {
        return failure("запрос не принят");
    }
    // The bound buffers must stay where they are until the statement has run.
    std::vector<std::u16string> texts(values.size());
    std::vector<SQLLEN> lengths(values.size());
    for (size_t k = 0; k < values.size(); ++k) {
        if (values[k] && !utf8_to_utf16(*values[k], texts[k])) {
            return failure("значение " + std::to_string(k + 1) + " не в UTF-8");
        }
        texts[k].push_back(u'\0');
        size_t characters = texts[k].size() - 1;
        lengths[k] = values[k] ? static_cast<SQLLEN>(characters * sizeof(SQLWCHAR)) : SQL_NULL_DATA;
        SQLSMALLINT type = characters > LONGEST_PLAIN_TEXT ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        SQLRETURN bound =
            SQLBindParameter(handle, static_cast<SQLUSMALLINT>(k + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                             type, characters == 0 ? 1 : characters, 0, wide_buffer(texts[k]),
                             static_cast<SQLLEN>(texts[k].size() * sizeof(SQLWCHAR)), &lengths[k]);
        if (!succeeded(bound)) {
            return failure("значение " + std::to_string(k + 1) + " не передано");
        }
    }
    SQLRETURN result = SQLExecute(handle);
    // An UPDATE or DELETE that met no row is done, not failed.
    if (!succeeded(result) && result != SQL_NO_DATA) {
        return failure("запрос не выполнен");
    }
    return "";
}

bool DbStatement::next(std::string& error) {
    error.clear();
    if (statement_ == nullptr) {
        error = failure("нет запроса");
        return false;
    }
    SQLRETURN result = SQLFetch(statement_);
    if (result == SQL_NO_DATA) {
        return false;
    }
    if (!succeeded(result)) {
        error = failure("строка не прочитана");
        return false;
    }
    return true;
}

DbValue DbStatement::text(int column, std::string& error) {
    error.clear();
    std::u16string whole;
    std::u16string part(1024, u'\0');
    for (;;) {
        SQLLEN length = 0;
        SQLRETURN result = SQLGetData(statement_, static_cast<SQLUSMALLINT>(column + 1),
                                      SQL_C_WCHAR, wide_buffer(part),
                                      static_cast<SQLLEN>(part.size() * sizeof(SQLWCHAR)), &length);
        if (result == SQL_NO_DATA) {
            break;
        }
        if (!succeeded(result)) {
            error = failure("столбец " + std::to_string(column + 1) + " не прочитан");
            return std::nullopt;
        }
        if (length == SQL_NULL_DATA) {
            return std::nullopt;
        }
        // A part that did not fit fills the buffer but for its final zero; the rest follows.
        size_t room = part.size() - 1;
        size_t got =
            (length == SQL_NO_TOTAL || static_cast<size_t>(length) / sizeof(SQLWCHAR) > room)
                ? room
                : static_cast<size_t>(length) / sizeof(SQLWCHAR);
        whole.append(part, 0, got);
        if (result == SQL_SUCCESS) {
            break;
        }
    }
    return utf16_to_utf8(whole);
}

long DbStatement::changed_rows() {
    SQLLEN rows = 0;
    if (statement_ == nullptr || !succeeded(SQLRowCount(statement_, &rows))) {
        return 0;
    }
    return static_cast<long>(rows);
}

}  // namespace core
