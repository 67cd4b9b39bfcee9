#pragma once

// A PostgreSQL of the test's own for the campaign database's tests: started once for the test
// process, a new database for each test, the schema made by ringlist db init.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/ringlist_commands.h"
#include "support/postgres_server.h"

class CampaignDb : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!PostgresServer::find_binaries().empty()) {
            server_ = new PostgresServer;
            start_error_ = server_->start();
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (PostgresServer::find_binaries().empty()) {
            GTEST_SKIP() << "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb): "
                            "scripts/install-deps test";
        }
        ASSERT_EQ(start_error_, "");
        static int databases = 0;
        std::string name = "campaign" + std::to_string(++databases);
        ASSERT_EQ(server_->create_database(name), "");
        conn = server_->connection(name);
    }

    // Each row of a query, its columns joined by "|" (NULL as "NULL"), committed.
    std::vector<std::string> rows(const std::string& sql,
                                  const std::vector<core::DbValue>& values = {}) {
        core::DbConnection db;
        EXPECT_EQ(db.open(conn), "");
        std::vector<std::string> found;
        {
            core::DbStatement statement(db);
            EXPECT_EQ(statement.run(sql, values), "") << sql;
            std::string error;
            while (statement.next(error)) {
                std::string row;
                for (int k = 0;; ++k) {
                    core::DbValue value = statement.text(k, error);
                    if (!error.empty()) {
                        break;  // past the last column
                    }
                    row += (k ? "|" : "") + value.value_or("NULL");
                }
                found.push_back(row);
            }
        }
        EXPECT_EQ(db.commit(), "");
        return found;
    }
    void exec(const std::string& sql) {
        core::DbConnection db;
        ASSERT_EQ(db.open(conn), "");
        core::DbStatement statement(db);
        ASSERT_EQ(statement.run(sql), "") << sql;
        ASSERT_EQ(db.commit(), "");
    }
    int init() {
        std::ostringstream out;
        return ringlist::db_init(conn, out);
    }
    int push(const std::filesystem::path& dir, const std::string& campaign, std::string& said,
             bool append = false) {
        ringlist::DbPushOptions options;
        options.dir = dir;
        options.campaign = campaign;
        options.append = append;
        return push(options, said);
    }
    int push(const ringlist::DbPushOptions& options, std::string& said) {
        std::ostringstream out;
        int status = ringlist::db_push(conn, options, out);
        said = out.str();
        return status;
    }

    inline static PostgresServer* server_ = nullptr;
    inline static std::string start_error_;
    std::string conn;
};
