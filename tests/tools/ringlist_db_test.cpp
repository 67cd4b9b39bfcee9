// The campaign database: the core's ODBC wrapper and ringlist db, against Debian's PostgreSQL
// started for the test in a folder of its own.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "db/connection_string.h"
#include "db/statement.h"
#include "db/wide_text.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/ringlist_commands.h"
#include "support/campaign_db_fixture.h"
#include "support/program_run.h"
#include "support/temp_root.h"

namespace {

// A list with every mark, its end marker and bytes after it that are not text, and the
// attempts Dialrun counted for it.
const std::string LIST = record("1234567", "    150", ' ') + record("2345678", "  12000", 'Y') +
                         record("3456789", "      7", 'Z') + record("4567890", "    300", 'N') +
                         record("5678901", "     42", 'X') + "\r\n" + "после конца\r\n" +
                         std::string("\x00\xff\r\n", 4);
const std::string ATTEMPTS =
    "2 2345678 1 1765184400\r\n3 3456789 2 1765188000\r\n4 4567890 1 1765191600\r\n";

TEST(CampaignDbText, Utf16BothWaysAndBytesThatAreNotUtf8Refused) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    for (const Case& c : std::vector<Case>{{"", u""},
                                           {"O'Brien; \"x\"", u"O'Brien; \"x\""},
                                           {"Кампания №1", u"Кампания №1"},
                                           {"\xF0\x9F\x93\x9E", u"\U0001F4DE"}}) {
        std::u16string wide;
        EXPECT_TRUE(core::utf8_to_utf16(c.utf8, wide)) << c.utf8;
        EXPECT_EQ(wide, c.utf16) << c.utf8;
        EXPECT_EQ(core::utf16_to_utf8(c.utf16), c.utf8);
    }
    std::u16string wide;
    for (const std::string& bad : {std::string("\xff"), std::string("\xC0\x80"),
                                   std::string("\xED\xA0\x80"), std::string("\xD0")}) {
        EXPECT_FALSE(core::utf8_to_utf16(bad, wide)) << ringlist::DB_SCHEMA_VERSION;
    }
}

// What a log, a journal or --show-settings may show of a connection string: everything but the
// password, whichever way it is spelled or braced.
TEST(CampaignDbText, APasswordIsNeverShownAndTheServerIsNamed) {
    struct Case {
        std::string connection, shown, server;
    };
    for (const Case& c : std::vector<Case>{
             {"Driver={PostgreSQL Unicode};Server=db1;Port=5432;Uid=u;Pwd=s3cret;",
              "Driver={PostgreSQL Unicode};Server=db1;Port=5432;Uid=u;Pwd=***;", "db1:5432"},
             {"DSN=campaign;PASSWORD = {a;b}}c};Uid=u", "DSN=campaign;PASSWORD =***;Uid=u",
              "DSN campaign"},
             {"Server=db2; pwd={x}", "Server=db2; pwd=***", "db2"},
             {"Server=db3;Uid=u;", "Server=db3;Uid=u;", "db3"},
             {"", "", "(сервер не указан)"},
             {"Pwd", "Pwd", "(сервер не указан)"},
             // libpq's own options carry passwords too, quoted or not.
             {"Server=db4;pqopt={password=s3cret sslpassword='a b\\' c}}' keepalives=1};",
              "Server=db4;pqopt={password=*** sslpassword=*** keepalives=1};", "db4"},
             {"Server=db4;PQOPT={PASSWORD = x}}y};Uid=u", "Server=db4;PQOPT={PASSWORD = ***};Uid=u",
              "db4"},
             {"Server=db4;pqopt=password=x", "Server=db4;pqopt=password=***", "db4"},
             {"Server=db4;pqopt={passwords application_name=p}",
              "Server=db4;pqopt={passwords application_name=p}", "db4"}}) {
        EXPECT_EQ(core::without_password(c.connection), c.shown) << c.connection;
        EXPECT_EQ(core::server_name(c.connection), c.server) << c.connection;
    }
    // The driver is told to notice a server gone silent, unless the string says otherwise;
    // the value a brace holds stays whole and the password unchanged.
    const std::string guard =
        "pqopt={tcp_user_timeout=30000 keepalives=1 keepalives_idle=30 keepalives_interval=10 "
        "keepalives_count=3 options='-c tcp_keepalives_idle=30 -c tcp_keepalives_interval=10 "
        "-c tcp_keepalives_count=3 -c tcp_user_timeout=30000'};";
    for (const auto& [given, used] : std::vector<std::pair<std::string, std::string>>{
             {"Server=db1;Pwd={a;b}}", "Server=db1;Pwd={a;b}};" + guard},
             {"DSN=campaign;", "DSN=campaign;" + guard},
             {"DSN=campaign; ", "DSN=campaign; " + guard},
             {"Server=db1;PQopt={keepalives=0}", "Server=db1;PQopt={keepalives=0}"},
             {"Pwd={pqopt=x};Server=db1", "Pwd={pqopt=x};Server=db1;" + guard}}) {
        EXPECT_EQ(core::with_silence_noticed(given), used) << given;
    }
}

TEST_F(CampaignDb, ValuesAreBoundNeverPastedAndNothingStandsUncommitted) {
    exec("CREATE TABLE notes (id serial, body text)");
    std::string hostile = "'); DROP TABLE notes; -- \"Кампания\" ;";
    std::string long_text(9000, 'z');
    {
        core::DbConnection db;
        ASSERT_EQ(db.open(conn), "");
        core::DbStatement insert(db);
        ASSERT_EQ(insert.run("INSERT INTO notes (body) VALUES (?), (?), (?)",
                             {hostile, std::nullopt, long_text}),
                  "");
        EXPECT_EQ(insert.changed_rows(), 3);
        // Closed without a commit: autocommit is off, so nothing of it stands.
    }
    EXPECT_EQ(rows("SELECT count(*) FROM notes"), std::vector<std::string>{"0"});
    {
        core::DbConnection db;
        ASSERT_EQ(db.open(conn), "");
        core::DbStatement insert(db);
        ASSERT_EQ(insert.run("INSERT INTO notes (body) VALUES (?), (?), (?)",
                             {hostile, std::nullopt, long_text}),
                  "");
        ASSERT_EQ(db.commit(), "");
    }
    EXPECT_EQ(rows("SELECT body FROM notes ORDER BY id"),
              (std::vector<std::string>{hostile, "NULL", long_text}));
    EXPECT_EQ(rows("SELECT length(body) FROM notes WHERE body = ?", {hostile}),
              std::vector<std::string>{"37"});
}

TEST_F(CampaignDb, AServerThatDoesNotAnswerIsNamedWithTheReason) {
    std::string refused_conn =
        "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=boardrack;Pwd=secret;";
    core::DbConnection db;
    std::string error = db.open(refused_conn);
    EXPECT_EQ(error.rfind("Нет связи с базой кампании (127.0.0.1:1): ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("Нет связи с базой кампании (127.0.0.1:1): ").size());
    EXPECT_EQ(error.find("secret"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    std::ostringstream out;
    EXPECT_EQ(ringlist::db_init(refused_conn, out), ringlist::REFUSED);
    EXPECT_EQ(out.str().rfind("Нет связи с базой кампании (127.0.0.1:1): ", 0), 0u) << out.str();

    error = db.open("Driver={No Such Driver};Server=db.example;Port=5432;");
    EXPECT_EQ(error.rfind("Нет связи с базой кампании (db.example:5432): [", 0), 0u) << error;
    // A string the driver would crash on (some 32,000 bytes of Cyrillic) is refused before it.
    std::string huge = "Driver={PostgreSQL Unicode};Server=db1;Pwd=";
    for (int i = 0; i < 17000; ++i) {
        huge += "я";
    }
    error = db.open(huge);
    EXPECT_EQ(error, "Нет связи с базой кампании (db1): строка подключения длиннее 4096 байт");
    // A role without rights on the tables is told so, not sent to make the schema again.
    ASSERT_EQ(ringlist::db_init(conn, out), ringlist::DONE);
    exec("CREATE ROLE stranger LOGIN");
    std::string stranger = conn;
    stranger.replace(stranger.find("Uid=boardrack"), 13, "Uid=stranger");
    out.str("");
    EXPECT_EQ(ringlist::db_status(stranger, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("[42501]"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("db init"), std::string::npos) << out.str();
}

TEST_F(CampaignDb, InitIsIdempotentUpgradesAnOlderSchemaAndLeavesANewerAlone) {
    std::ostringstream out;
    std::string server = "Схема базы кампании (127.0.0.1:" + std::to_string(server_->port()) + ") ";
    EXPECT_EQ(ringlist::db_init(conn, out), ringlist::DONE);
    EXPECT_EQ(out.str(), server + "создана, версия 2\n");
    out.str("");
    EXPECT_EQ(ringlist::db_init(conn, out), ringlist::DONE);
    EXPECT_EQ(out.str(), server + "уже версии 2, ничего не изменено\n");
    EXPECT_EQ(rows("SELECT version FROM schema_version"), std::vector<std::string>{"2"});
    EXPECT_EQ(
        rows("SELECT table_name FROM information_schema.tables WHERE table_schema = "
             "'public' ORDER BY table_name"),
        (std::vector<std::string>{"campaigns", "racks", "records", "results", "schema_version"}));
    // A database that version 1 made, with a campaign in it: the index comes, the records stay.
    TempRoot root;
    root.write("Ring.TXT", LIST);
    std::string said;
    ASSERT_EQ(push(root.path, "лето", said), ringlist::DONE) << said;
    exec("DROP INDEX records_open");
    exec("DELETE FROM schema_version");
    exec("INSERT INTO schema_version VALUES (1)");
    out.str("");
    EXPECT_EQ(ringlist::db_init(conn, out), ringlist::DONE);
    EXPECT_EQ(out.str(), server + "обновлена с версии 1 до версии 2\n");
    EXPECT_EQ(rows("SELECT count(*) FROM pg_indexes WHERE indexname = 'records_open'"),
              std::vector<std::string>{"1"});
    EXPECT_EQ(rows("SELECT count(*) FROM records"), std::vector<std::string>{"5"});

    exec("INSERT INTO schema_version VALUES (3)");
    out.str("");
    EXPECT_EQ(ringlist::db_init(conn, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("схема версии 3 новее этой программы"), std::string::npos)
        << out.str();
    EXPECT_EQ(push(root.path, "осень", said), ringlist::REFUSED);
    EXPECT_NE(said.find("схема версии 3 новее"), std::string::npos) << said;
    EXPECT_EQ(rows("SELECT count(*) FROM campaigns"), std::vector<std::string>{"1"});
}

// The body of GET path from a server on this PC's port; "" when it did not answer.
std::string http_get(int port, const std::string& path) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval guard{120, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    std::string answer;
    if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        std::string request =
            "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char chunk[4096];
            for (ssize_t n; (n = ::recv(s, chunk, sizeof chunk, 0)) > 0;) {
                answer.append(chunk, static_cast<size_t>(n));
            }
        }
    }
    ::close(s);
    size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? "" : answer.substr(body + 4);
}

// ringlist serve started with args, and the port it said it listens on (0 when it did not).
int started_serve(RunningProgram& serve) {
    const std::string said = "Страница прозвонки: http://127.0.0.1:";
    if (!serve.wait_for(" (остановить: Ctrl+C)")) {
        return 0;
    }
    size_t at = serve.output.find(said);
    return at == std::string::npos ? 0 : std::atoi(serve.output.c_str() + at + said.size());
}

// Asks for path until its body holds text (the server reads the database at most once a
// second); the last body.
std::string get_until(int port, const std::string& path, const std::string& text) {
    auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::string body = http_get(port, path);
    while (body.find(text) == std::string::npos && std::chrono::steady_clock::now() < guard) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        body = http_get(port, path);
    }
    return body;
}

// The backup pull --force kept of a file of dir: "NAME.YYYYMMDD-HHMMSS.bak"; "" when none.
std::string backup_of(const std::filesystem::path& dir, const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string file = entry.path().filename().string();
        if (file.size() == name.size() + 20 && file.rfind(name + ".", 0) == 0 &&
            file.compare(file.size() - 4, 4, ".bak") == 0) {
            return file_bytes(entry.path());
        }
    }
    return "";
}

TEST_F(CampaignDb, PushThenPullGivesTheSameBytesAndTheVerdictsAsLogLines) {
    ASSERT_EQ(init(), ringlist::DONE);
    TempRoot root;
    root.write("Ring.TXT", LIST);
    root.write("Ring.TXT.attempts", ATTEMPTS);
    // The folder's logs, as a rack wrote them before the campaign went to the database.
    const std::string notified = "2345678   07-12 10:00:00  " + std::string(42, ' ') + "\r\n";
    const std::string not_notified = "4567890   07-12 10:05:00 N" + std::string(42, ' ') + "\r\n" +
                                     "3456789   07-12 10:06:00 Z" + std::string(42, ' ') + "\r\n";
    root.write("RINGY.txt", notified);
    root.write("RINGN.txt", not_notified);
    std::string said;
    ASSERT_EQ(push(root.path, "декабрь", said), ringlist::DONE) << said;
    EXPECT_EQ(said, "В кампанию \"декабрь\" записано записей: 5\n");
    EXPECT_EQ(rows("SELECT position, number, amount, mark, calls, "
                   "extract(epoch FROM last_call)::bigint FROM records ORDER BY position"),
              (std::vector<std::string>{"1|1234567|150| |0|NULL", "2|2345678|12000|Y|1|1765184400",
                                        "3|3456789|7|Z|2|1765188000",
                                        "4|4567890|300|N|1|1765191600", "5|5678901|42|X|0|NULL"}));
    EXPECT_EQ(rows("SELECT name, retry, retry_gap_seconds, retry_marks FROM campaigns"),
              std::vector<std::string>{"декабрь|1|7200|ZN"});

    std::filesystem::path out_dir = root.path / "pulled";
    std::ostringstream out;
    ASSERT_EQ(ringlist::db_pull(conn, "декабрь", out_dir, false, out), ringlist::DONE) << out.str();
    EXPECT_EQ(file_bytes(out_dir / "Ring.TXT"), LIST);
    EXPECT_EQ(file_bytes(out_dir / "Ring.TXT.attempts"), ATTEMPTS);
    EXPECT_EQ(file_bytes(out_dir / "RINGY.txt"), notified);
    EXPECT_EQ(file_bytes(out_dir / "RINGN.txt"), not_notified);
    struct stat info {};
    ASSERT_EQ(::stat((out_dir / "Ring.TXT").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Verdicts as a rack commits them; the logs list them in that order.
    exec("INSERT INTO racks (name) VALUES ('стойка 1')");
    exec(
        "INSERT INTO results (record_id, attempt, mark, local_time, utc, rack_id, channel) "
        "SELECT r.id, 2, 'N', '2026-12-08 09:20:40', '2026-12-08 06:20:40+00', k.id, 5 "
        "FROM records r, racks k WHERE r.number = '4567890'");
    exec(
        "INSERT INTO results (record_id, attempt, mark, local_time, utc, rack_id, channel) "
        "SELECT r.id, 2, 'Y', '2026-12-08 09:15:02', '2026-12-08 06:15:02+00', k.id, 3 "
        "FROM records r, racks k WHERE r.number = '2345678'");
    out.str("");
    EXPECT_EQ(ringlist::db_pull(conn, "декабрь", out_dir, false, out), ringlist::REFUSED);
    EXPECT_EQ(out.str(), "Файлы не записаны: в " + out_dir.string() +
                             " уже есть Ring.TXT, Ring.TXT.attempts, RINGY.txt, RINGN.txt "
                             "(заменить: --force)\n");
    EXPECT_EQ(file_bytes(out_dir / "RINGY.txt"), notified);
    // The pushed logs come first, then the lines of the verdicts committed since; each file
    // replaced is kept beside it.
    out_dir = root.path;
    root.write("RINGY.txt", "2345678   06-12 08:00:00  " + std::string(42, ' ') + "\r\n");
    out.str("");
    ASSERT_EQ(ringlist::db_pull(conn, "декабрь", out_dir, true, out), ringlist::DONE);
    EXPECT_EQ(out.str().rfind("Кампания \"декабрь\" записана в " + out_dir.string() +
                                  "\nПрежние файлы сохранены рядом: Ring.TXT.",
                              0),
              0u)
        << out.str();
    EXPECT_EQ(file_bytes(out_dir / "RINGY.txt"),
              notified + "2345678   08-12 09:15:02  " + std::string(42, ' ') + "\r\n");
    EXPECT_EQ(file_bytes(out_dir / "RINGN.txt"),
              not_notified + "4567890   08-12 09:20:40 N" + std::string(42, ' ') + "\r\n");
    EXPECT_EQ(file_bytes(out_dir / "Ring.TXT"), LIST);
    EXPECT_EQ(backup_of(out_dir, "Ring.TXT"), LIST);
    EXPECT_EQ(backup_of(out_dir, "Ring.TXT.attempts"), ATTEMPTS);
    EXPECT_EQ(backup_of(out_dir, "RINGY.txt"),
              "2345678   06-12 08:00:00  " + std::string(42, ' ') + "\r\n");
    EXPECT_EQ(backup_of(out_dir, "RINGN.txt"), not_notified);

    // The blank record called once, without a verdict, its call the one its rules allow: named.
    exec("UPDATE records SET calls = 1 WHERE mark = ' '");
    std::ostringstream status;
    ASSERT_EQ(ringlist::db_status(conn, status), ringlist::DONE) << status.str();
    EXPECT_EQ(status.str(),
              "Кампания \"декабрь\": записей 5, без отметки: 1, N: 1, X: 1, Y: 1, Z: 1; звонков "
              "за последний час: 0; звонки исчерпаны без результата: 1\n"
              "Стойка \"стойка 1\": держит записей 0, последний звонок 2026-12-08 06:20:40 UTC\n");
}

TEST_F(CampaignDb, AnExistingCampaignTakesMoreOnlyWithAppend) {
    ASSERT_EQ(init(), ringlist::DONE);
    TempRoot root;
    root.write("Ring.TXT", LIST);
    std::string said;
    ASSERT_EQ(push(root.path, "декабрь", said), ringlist::DONE) << said;
    EXPECT_EQ(push(root.path, "декабрь", said), ringlist::REFUSED);
    EXPECT_EQ(said,
              "В базу ничего не записано: кампания \"декабрь\" уже есть в базе (дописать записи "
              "в ее конец: --append)\n");
    EXPECT_EQ(rows("SELECT count(*) FROM records"), std::vector<std::string>{"5"});
    // The same folder again adds nothing; numbers the campaign has are left out and counted.
    ASSERT_EQ(push(root.path, "декабрь", said, true), ringlist::DONE) << said;
    EXPECT_EQ(said,
              "В кампанию \"декабрь\" записано записей: 0, пропущено номеров, которые уже есть "
              "в кампании: 5\n");
    EXPECT_EQ(rows("SELECT count(*) FROM records"), std::vector<std::string>{"5"});
    TempRoot more;
    more.write("Ring.TXT", record("7654321", "     10", ' ') + record("3456789", "      7", 'Z') +
                               record("8765432", "     20", ' ') + "\r\n");
    more.write("RINGN.txt", "3456789   07-12 10:06:00 Z" + std::string(42, ' ') + "\r\n" +
                                "8765432   07-12 10:07:00 N" + std::string(42, ' ') + "\r\n");
    ASSERT_EQ(push(more.path, "декабрь", said, true), ringlist::DONE) << said;
    EXPECT_EQ(said,
              "В кампанию \"декабрь\" записано записей: 2, пропущено номеров, которые уже есть "
              "в кампании: 1\n");
    EXPECT_EQ(rows("SELECT position, number FROM records WHERE position > 5 ORDER BY position"),
              (std::vector<std::string>{"6|7654321", "7|8765432"}));
    EXPECT_EQ(
        rows("SELECT encode(not_notified_log, 'escape') FROM campaigns"),
        std::vector<std::string>{"8765432   07-12 10:07:00 N" + std::string(42, ' ') + "\r\n"});

    // A list the database could not give back byte for byte is not taken.
    root.write("Ring.TXT", "1234567  150     \r\n\r\n");
    EXPECT_EQ(push(root.path, "другая", said), ringlist::REFUSED);
    EXPECT_NE(said.find("строка 1"), std::string::npos) << said;
    EXPECT_EQ(rows("SELECT count(*) FROM campaigns"), std::vector<std::string>{"1"});
}

TEST_F(CampaignDb, AHostileCampaignNameIsStoredAsText) {
    ASSERT_EQ(init(), ringlist::DONE);
    TempRoot root;
    root.write("Ring.TXT", LIST);
    const std::string name = "O'Brien\"; DROP TABLE records; -- Кампания №2";
    std::string said;
    ASSERT_EQ(push(root.path, name, said), ringlist::DONE) << said;
    EXPECT_EQ(rows("SELECT name FROM campaigns"), std::vector<std::string>{name});
    EXPECT_EQ(rows("SELECT count(*) FROM records"), std::vector<std::string>{"5"});
    std::ostringstream out;
    ASSERT_EQ(ringlist::db_pull(conn, name, root.path / "back", false, out), ringlist::DONE)
        << out.str();
    EXPECT_EQ(file_bytes(root.path / "back" / "Ring.TXT"), LIST);
    out.str("");
    EXPECT_EQ(ringlist::db_pull(conn, "O'Brien", root.path / "none", false, out),
              ringlist::REFUSED);
    EXPECT_EQ(out.str(), "Файлы не записаны: кампании \"O'Brien\" нет в базе\n");

    // Names that db status could not show on a line of their own are refused.
    struct Bad {
        std::string name;
        const char* said;
    } bad[] = {
        {"осень\nзима", "в имени кампании управляющий знак (перевод строки, табуляция и т. п.)"},
        {"осень\tзима", "в имени кампании управляющий знак (перевод строки, табуляция и т. п.)"},
        {"осень\x1b[2J", "в имени кампании управляющий знак (перевод строки, табуляция и т. п.)"},
        {"осень\xc2\x85", "в имени кампании управляющий знак (перевод строки, табуляция и т. п.)"},
        {"   ", "имя кампании пустое или из одних пробелов"},
        {"", "имя кампании пустое или из одних пробелов"},
        {"осень\xff", "имя кампании - не текст UTF-8"},
    };
    for (const Bad& b : bad) {
        EXPECT_EQ(push(root.path, b.name, said), ringlist::REFUSED) << b.name;
        EXPECT_EQ(said, "В базу ничего не записано: " + std::string(b.said) + "\n") << b.name;
    }
    EXPECT_EQ(rows("SELECT count(*) FROM campaigns"), std::vector<std::string>{"1"});
}

TEST_F(CampaignDb, ExcludeMarksXButNeverOverY) {
    ASSERT_EQ(init(), ringlist::DONE);
    TempRoot root;
    root.write("Ring.TXT", LIST);
    root.write("stop.txt", "# стоп-лист\n1234567\n2345678\n3456789\n7777777\n");
    std::string said;
    ASSERT_EQ(push(root.path, "декабрь", said), ringlist::DONE) << said;
    std::ostringstream out;
    ASSERT_EQ(ringlist::db_exclude(conn, "декабрь", root.path / "stop.txt", "", out),
              ringlist::DONE)
        << out.str();
    EXPECT_EQ(out.str(),
              "Исключено записей: 2 (без отметки: 1, Z: 1), отмечены X; пропущено номеров с "
              "отметкой Y (уже оповещены): 1\n");
    EXPECT_EQ(rows("SELECT string_agg(mark, '' ORDER BY position) FROM records"),
              std::vector<std::string>{"XYXNX"});
}

TEST_F(CampaignDb, TheSettingsFileGivesTheConnectionAndAPasswordInItIsWarnedOf) {
    ASSERT_EQ(init(), ringlist::DONE);
    TempRoot root;
    root.write("boardrack.conf", "# общие\nretry = 3\n[dialrun]\ncampaign-db = " + conn +
                                     "Pwd=unused;\n[pinread]\ncampaign-db = DSN=wrong\n");
    ASSERT_EQ(::chmod(root.file("boardrack.conf").c_str(), 0644), 0);
    Outcome o = run({RINGLIST_PATH, "db", "status"}, "", {},
                    {{"XDG_CONFIG_HOME", root.path.string()}}, true);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "Кампаний в базе нет\n");
    EXPECT_NE(o.err.find("пароль базы кампании (Pwd= или Password=), а файл могут читать другие"),
              std::string::npos)
        << o.err;

    // --config names a file read after the usual ones, as the programs' --config; psqlODBC's
    // other spelling of the password, in any case and spacing, is warned of too.
    root.write("own.conf", "campaign-db = " + conn + " PASSWORD = unused ;\n");
    ASSERT_EQ(::chmod(root.file("own.conf").c_str(), 0640), 0);
    o = run({RINGLIST_PATH, "db", "status", "--config", root.file("own.conf")}, "", {},
            {{"XDG_CONFIG_HOME", (root.path / "none").string()}}, true);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "Кампаний в базе нет\n");
    EXPECT_NE(o.err.find("в " + root.file("own.conf") + " пароль базы кампании"), std::string::npos)
        << o.err;
    ASSERT_EQ(::chmod(root.file("own.conf").c_str(), 0600), 0);
    o = run({RINGLIST_PATH, "db", "status", "--config", root.file("own.conf")}, "", {},
            {{"XDG_CONFIG_HOME", (root.path / "none").string()}}, true);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err.find("пароль"), std::string::npos) << o.err;
    o = run({RINGLIST_PATH, "db", "status", "--config", root.file("missing.conf")}, "", {},
            {{"XDG_CONFIG_HOME", (root.path / "none").string()}}, true);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find(root.file("missing.conf") + ": файл настроек не открыт: "),
              std::string::npos)
        << o.err;
}

// serve --db: every campaign's counts and every rack's state, from the database at each
// request; the database lost, the page and /metrics say so, and it is read again once back.
TEST_F(CampaignDb, ServeShowsEveryCampaignAndRackAndSaysWhenTheDatabaseIsAway) {
    ASSERT_EQ(init(), ringlist::DONE);
    TempRoot root;
    root.write("Ring.TXT", LIST);
    std::filesystem::create_directories(root.path / "jan");
    root.write("jan/Ring.TXT", record("7000001", "     10", ' ') +
                                   record("7000002", "     20", ' ') +
                                   record("7000003", "     30", ' ') + "\r\n");
    std::string said;
    ASSERT_EQ(push(root.path, "декабрь", said), ringlist::DONE) << said;
    ASSERT_EQ(push(root.path / "jan", "январь", said), ringlist::DONE) << said;
    // А holds a record and called a minute ago; Б's lease ran out and it has not asked since
    // 06:25; the third asked just now and holds nothing, its name to be shown as text; Г last
    // asked three minutes ago.
    exec(
        "INSERT INTO racks (name, last_seen) VALUES ('стойка А', now()), "
        "('стойка Б', '2026-12-08 06:25:00+00'), ('В <3 & \"к\"', now()), "
        "('стойка Г', now() - interval '3 minutes')");
    exec(
        "UPDATE records SET held_by = (SELECT id FROM racks WHERE name = 'стойка А'), "
        "held_until = now() + interval '10 minutes' WHERE number = '7000001'");
    exec(
        "UPDATE records SET held_by = (SELECT id FROM racks WHERE name = 'стойка Б'), "
        "held_until = now() - interval '1 minute' WHERE number = '1234567'");
    exec("UPDATE records SET mark = 'Z', calls = 1 WHERE number = '7000002'");
    exec(
        "INSERT INTO results (record_id, attempt, mark, local_time, utc, rack_id, channel) "
        "SELECT r.id, 1, 'Z', '2026-12-10 10:00:00', now() - interval '1 minute', k.id, 2 "
        "FROM records r, racks k WHERE r.number = '7000002' AND k.name = 'стойка А'");
    exec(
        "INSERT INTO results (record_id, attempt, mark, local_time, utc, rack_id, channel) "
        "SELECT r.id, 1, 'N', '2026-12-08 09:20:40', '2026-12-08 06:20:40+00', k.id, 5 "
        "FROM records r, racks k WHERE r.number = '4567890' AND k.name = 'стойка Б'");

    RunningProgram serve({RINGLIST_PATH, "serve", "--db", conn, "--listen", "127.0.0.1:0"}, "",
                         false, {}, true);
    int port = started_serve(serve);
    ASSERT_NE(port, 0) << serve.output;
    std::string page = http_get(port, "/");
    for (const char* part :
         {"<h2>Кампания декабрь</h2>\n<dl>\n<dt>Записей</dt><dd>5</dd>\n"
          "<dt>Оповещены</dt><dd>1</dd>\n<dt>Не оповещены</dt><dd>2</dd>\n"
          "<dt>Исключены</dt><dd>1</dd>\n<dt>Осталось</dt><dd>1</dd>\n"
          "<dt>Звонков за час</dt><dd>0</dd>\n</dl>\n<p class=\"percent\">Готово: 80%</p>",
          "<h2>Кампания январь</h2>\n<dl>\n<dt>Записей</dt><dd>3</dd>\n"
          "<dt>Оповещены</dt><dd>0</dd>\n<dt>Не оповещены</dt><dd>1</dd>\n"
          "<dt>Исключены</dt><dd>0</dd>\n<dt>Осталось</dt><dd>2</dd>\n"
          "<dt>Звонков за час</dt><dd>1</dd>\n</dl>\n<p class=\"percent\">Готово: 33%</p>",
          "<tr><td>стойка Б</td><td>0</td><td>2026-12-08 06:20:40 UTC</td><td "
          "class=\"bad\">нет связи с 2026-12-08 06:25:00 UTC</td></tr>\n",
          "<tr><td>В &lt;3 &amp; &quot;к&quot;</td><td>0</td><td>не было</td><td>на "
          "связи</td></tr>\n",
          " UTC</td><td>звонит</td></tr>\n"}) {
        EXPECT_NE(page.find(part), std::string::npos) << part << "\n" << page;
    }
    size_t a = page.find("<tr><td>стойка А</td><td>1</td><td>");
    EXPECT_LT(a, page.find(" UTC</td><td>звонит</td></tr>")) << page;
    std::string metrics = http_get(port, "/metrics");
    for (const char* line :
         {"boardrack_campaign_db_up 1\n",
          "boardrack_campaign_records{campaign=\"декабрь\",mark=\"uncalled\"} 1\n"
          "boardrack_campaign_records{campaign=\"декабрь\",mark=\"Y\"} 1\n"
          "boardrack_campaign_records{campaign=\"декабрь\",mark=\"Z\"} 1\n"
          "boardrack_campaign_records{campaign=\"декабрь\",mark=\"N\"} 1\n"
          "boardrack_campaign_records{campaign=\"декабрь\",mark=\"S\"} 0\n"
          "boardrack_campaign_records{campaign=\"декабрь\",mark=\"X\"} 1\n"
          "boardrack_campaign_records{campaign=\"декабрь\",mark=\"other\"} 0\n",
          "boardrack_campaign_records{campaign=\"январь\",mark=\"uncalled\"} 2\n",
          "boardrack_campaign_percent{campaign=\"декабрь\"} 80\n",
          "boardrack_campaign_percent{campaign=\"январь\"} 33\n",
          "boardrack_campaign_calls_last_hour{campaign=\"декабрь\"} 0\n",
          "boardrack_campaign_calls_last_hour{campaign=\"январь\"} 1\n",
          "boardrack_rack_held_records{rack=\"стойка А\"} 1\n",
          "boardrack_rack_held_records{rack=\"стойка Б\"} 0\n",
          "boardrack_rack_state{rack=\"стойка А\",state=\"calling\"} 1\n",
          "boardrack_rack_state{rack=\"стойка Б\",state=\"calling\"} 0\n"
          "boardrack_rack_state{rack=\"стойка Б\",state=\"online\"} 0\n"
          "boardrack_rack_state{rack=\"стойка Б\",state=\"offline\"} 1\n",
          "boardrack_rack_state{rack=\"В <3 & \\\"к\\\"\",state=\"online\"} 1\n",
          "boardrack_rack_state{rack=\"стойка Г\",state=\"online\"} 0\n"
          "boardrack_rack_state{rack=\"стойка Г\",state=\"offline\"} 1\n",
          "boardrack_rack_last_call_timestamp_seconds{rack=\"стойка Б\"} 1796710840\n",
          "boardrack_rack_last_seen_timestamp_seconds{rack=\"стойка Б\"} 1796711100\n"}) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    }
    // Prometheus' own parser (python3-prometheus-client) takes every sample.
    Outcome parsed = run({"/usr/bin/python3", "-c",
                          "import sys\n"
                          "from prometheus_client.parser import text_string_to_metric_families\n"
                          "print(sum(len(f.samples) for f in "
                          "text_string_to_metric_families(sys.stdin.read())))"},
                         metrics, {}, {}, true);
    EXPECT_EQ(parsed.out, "41\n") << parsed.err;
    // Counts only: no subscriber's number or amount.
    for (const char* personal : {"1234567", "2345678", "4567890", "7000001", "12000"}) {
        EXPECT_EQ(page.find(personal), std::string::npos) << personal;
        EXPECT_EQ(metrics.find(personal), std::string::npos) << personal;
    }

    // The database refuses connections: the page and /metrics say so and the server stays;
    // let in again, it is read again.
    std::string database = conn.substr(conn.find("Database=") + 9);
    database = database.substr(0, database.find(';'));
    const std::string admin = server_->connection("postgres");
    const auto alter = [&](const std::string& sql) {
        core::DbConnection db;
        ASSERT_EQ(db.open(admin), "");
        core::DbStatement statement(db);
        ASSERT_EQ(statement.run(sql), "") << sql;
        ASSERT_EQ(db.commit(), "");
    };
    alter("ALTER DATABASE " + database + " WITH ALLOW_CONNECTIONS false");
    const std::string away = "<p class=\"bad\">Нет связи с базой кампании (127.0.0.1:" +
                             std::to_string(server_->port()) + "): ";
    page = get_until(port, "/", away);
    EXPECT_NE(page.find(away), std::string::npos) << page;
    EXPECT_EQ(page.find("Кампания декабрь"), std::string::npos) << page;
    metrics = http_get(port, "/metrics");
    EXPECT_NE(metrics.find("boardrack_campaign_db_up 0\n"), std::string::npos) << metrics;
    EXPECT_EQ(metrics.find("boardrack_campaign_records{"), std::string::npos) << metrics;
    alter("ALTER DATABASE " + database + " WITH ALLOW_CONNECTIONS true");
    page = get_until(port, "/", "Готово: 80%");
    EXPECT_NE(page.find("<dt>Звонков за час</dt><dd>1</dd>"), std::string::npos) << page;
    EXPECT_EQ(serve.end_with(SIGTERM), 0) << serve.output;
    EXPECT_NE(serve.output.find("Сервер остановлен\n"), std::string::npos) << serve.output;

    // A server that does not answer at the start: the connection from a settings file, serve
    // given no folder; a folder and the database together are refused.
    root.write("own.conf",
               "campaign-db = Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;"
               "Database=x;Uid=boardrack;\n");
    RunningProgram unreachable(
        {RINGLIST_PATH, "serve", "--config", root.file("own.conf"), "--listen", "127.0.0.1:0"}, "",
        false, {{"XDG_CONFIG_HOME", (root.path / "none").string()}}, true);
    port = started_serve(unreachable);
    ASSERT_NE(port, 0) << unreachable.output;
    page = http_get(port, "/");
    EXPECT_NE(page.find("<p class=\"bad\">Нет связи с базой кампании (127.0.0.1:1): "),
              std::string::npos)
        << page;
    EXPECT_EQ(
        http_get(port, "/metrics")
            .rfind(
                "# HELP boardrack_campaign_db_up 1 when the campaign database answered, else 0.\n"
                "# TYPE boardrack_campaign_db_up gauge\nboardrack_campaign_db_up 0\n",
                0),
        0u);
    EXPECT_EQ(unreachable.end_with(SIGTERM), 0);
    Outcome both =
        run({RINGLIST_PATH, "serve", root.path.string(), "--db", conn}, "", {}, {}, true);
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(both.err,
              "ringlist: serve: либо папки, либо база кампании (--db, --config), не вместе: "
              "страница показывает что-то одно\nСправка: ringlist --help\n");
    root.write("none.conf", "retry = 3\n");
    Outcome none = run({RINGLIST_PATH, "serve", "--config", root.file("none.conf")}, "", {},
                       {{"XDG_CONFIG_HOME", (root.path / "none").string()}}, true);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "ringlist: serve: campaign-db нет ни в " + root.file("none.conf") +
                            ", ни в других файлах настроек\nСправка: ringlist --help\n");
}

}  // namespace
