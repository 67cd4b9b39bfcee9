// ringlist import and exclude: a billing system's CSV made into a list, rows left out with
// their reasons, and stop-listed numbers never called.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "files/durable_file.h"
#include "ringlist/import/csv_table.h"
#include "ringlist/import/number_rules.h"
#include "ringlist/ringlist_commands.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;
using ringlist::Reject;

namespace {

const std::vector<std::string> PREFIXES = {"99871", "871"};

std::string cp1251(const std::string& utf8) {
    return ringlist::utf8_to_cp1251(utf8);
}

}  // namespace

TEST(Import, NumbersAndAmountsInEveryFormABillingSystemWrites) {
    const struct {
        const char* field;
        Reject reject;
        const char* number;
    } numbers[] = {
        {"1234567", Reject::none, "1234567"},
        {"+998 (71) 123-45-67", Reject::none, "1234567"},
        {"8 71 123 45 67", Reject::none, "1234567"},
        {"123-45-67", Reject::none, "1234567"},
        {"12345", Reject::too_short, ""},
        {"", Reject::too_short, ""},
        {"+7 495 123 45 67", Reject::foreign_code, ""},
        {"99871 1234", Reject::too_short, ""},
        {"998711234567890", Reject::foreign_code, ""},
        {"1,23457E+11", Reject::exponent, ""},
        {"9.98711E11", Reject::exponent, ""},
    };
    for (const auto& c : numbers) {
        std::string number;
        EXPECT_EQ(ringlist::normalise_number(c.field, PREFIXES, number), c.reject) << c.field;
        if (c.reject == Reject::none) {
            EXPECT_EQ(number, c.number) << c.field;
        }
    }
    const struct {
        const char* field;
        Reject reject;
        long amount;
    } amounts[] = {
        {"1234", Reject::none, 1234},
        {"1 234,50", Reject::none, 1235},
        {"1\xC2\xA0"
         "234,49",
         Reject::none, 1234},
        {"12.5", Reject::none, 13},
        {"0,4", Reject::none, 0},
        {"9999999", Reject::none, 9999999},
        {"9999999,5", Reject::amount_long, 0},
        {"12345678", Reject::amount_long, 0},
        {"", Reject::amount_empty, 0},
        {"  ", Reject::amount_empty, 0},
        {"-5", Reject::amount_negative, 0},
        {"12 руб", Reject::amount_not_number, 0},
        {"1,234.50", Reject::amount_not_number, 0},
    };
    for (const auto& c : amounts) {
        long amount = -1;
        EXPECT_EQ(ringlist::parse_amount(c.field, amount), c.reject) << c.field;
        if (c.reject == Reject::none) {
            EXPECT_EQ(amount, c.amount) << c.field;
        }
    }
}

TEST(Import, BothEncodingsEverySeparatorQuotesDuplicatesAndTheStopList) {
    const struct Case {
        const char* what;
        std::string csv;
        std::vector<std::string> options;
        std::string list;     // the bytes written
        std::string rejects;  // "" when none
    } cases[] = {
        {"UTF-8 with its mark, commas, a header, quotes holding a comma and a line break",
         "\xEF\xBB\xBFname,phone,debt\r\n\"Ivanov, A.\",1234567,\"1 234,50\"\r\n"
         "\"two\r\nlines\",2345678,10\r\nshort,12345,1\r\n",
         {"--header", "--number", "phone", "--amount", "debt"},
         "1234567     1235  \r\n2345678       10  \r\n\r\n",
         "\xEF\xBB\xBFстрока,причина,name,phone,debt\r\n5,номер короче 7 цифр,short,12345,1\r\n"},
        {"Windows-1251 with semicolons, as Excel saves it",
         cp1251("Абонент;Телефон;Долг\r\nИванов;8 71 123 45 67;12,5\r\nПетров;7654321;-1\r\n"),
         {"--header", "--number", "Телефон", "--amount", "Долг", "--prefix", "871"},
         "1234567       13  \r\n\r\n",
         cp1251(
             "строка;причина;Абонент;Телефон;Долг\r\n3;отрицательная сумма;Петров;7654321;-1\r\n")},
        {"tabs, no header, columns by number",
         "1234567\t100\n2345678\t200\n",
         {"--number", "1", "--amount", "2"},
         "1234567      100  \r\n2345678      200  \r\n\r\n",
         ""},
        {"a repeat: the first row stays",
         "1234567;100\r\n7654321;5\r\n1234567;200\r\n",
         {"--number", "1", "--amount", "2"},
         "1234567      100  \r\n7654321        5  \r\n\r\n",
         "3;повтор строки 1;1234567;200\r\n"},
        {"a repeat summed",
         "1234567;100\r\n7654321;5\r\n1234567;200\r\n",
         {"--number", "1", "--amount", "2", "--duplicates", "sum"},
         "1234567      300  \r\n7654321        5  \r\n\r\n",
         ""},
        {"a repeat: every row of it left out",
         "1234567;100\r\n7654321;5\r\n1234567;200\r\n",
         {"--number", "1", "--amount", "2", "--duplicates", "reject-all"},
         "7654321        5  \r\n\r\n",
         "1;повтор строки 3;1234567;100\r\n3;повтор строки 1;1234567;200\r\n"},
        {"a stop list, its numbers written in other ways",
         "1234567;100\r\n7654321;5\r\n",
         {"--number", "1", "--amount", "2", "--exclude", "STOP"},
         "7654321        5  \r\n\r\n",
         "1;номер в стоп-листе;1234567;100\r\n"},
        {"a row without the amount's column",
         "1234567;100\r\n7654321\r\n",
         {"--number", "1", "--amount", "2"},
         "1234567      100  \r\n\r\n",
         "2;нет такого столбца в строке;7654321\r\n"},
    };
    for (const Case& c : cases) {
        TempRoot root;
        root.write("bill.csv", c.csv);
        root.write("stop.txt", "# staff\n123-45-67\n\n");
        ::chmod(root.file("bill.csv").c_str(), 0640);
        ringlist::ImportOptions o;
        std::vector<std::string> args = c.options;
        o.csv = root.path / "bill.csv";
        o.list = root.path / "Ring.TXT";
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a == "--header") {
                o.header = true;
            } else if (a == "--number") {
                o.number_column = args[++i];
            } else if (a == "--amount") {
                o.amount_column = args[++i];
            } else if (a == "--prefix") {
                o.prefixes = args[++i];
            } else if (a == "--duplicates") {
                o.duplicates = args[++i];
            } else if (a == "--exclude") {
                o.exclude = root.path / "stop.txt";
                ++i;
            }
        }
        std::ostringstream out;
        EXPECT_EQ(ringlist::import_list(o, out), ringlist::DONE) << c.what << "\n" << out.str();
        EXPECT_EQ(root.read("Ring.TXT"), c.list) << c.what;
        EXPECT_EQ(fs::exists(root.path / "Ring.TXT.rejects.csv"), !c.rejects.empty()) << c.what;
        if (!c.rejects.empty()) {
            EXPECT_EQ(root.read("Ring.TXT.rejects.csv"), c.rejects) << c.what;
        }
        EXPECT_EQ(core::file_mode(root.path / "Ring.TXT"), 0640u) << c.what;
        std::ostringstream checked;
        EXPECT_EQ(ringlist::check_list(root.path / "Ring.TXT", checked, true), ringlist::DONE)
            << c.what << "\n"
            << checked.str();
    }
}

// Each refusal says why and leaves every file as it was.
TEST(Import, RefusalsSayWhyAndChangeNoFile) {
    TempRoot root;
    const std::string old_list = "1111111      100  \r\n\r\n";
    ringlist::ImportOptions o;
    o.list = root.path / "Ring.TXT";
    o.number_column = "1";
    o.amount_column = "2";
    const struct {
        const char* what;
        std::string csv;  // "" for no file at all
        std::string number_column;
        bool held;
        const char* said;
    } cases[] = {
        {"no file", "", "1", false, "Нет файла"},
        {"an empty file", "\n", "1", false, "в файле нет ни одной строки"},
        {"not text", std::string("PK\x03\x04\0\0", 6), "1", false, "не текст"},
        {"a quote never closed", "1234567;\"100\r\n", "1", false, "кавычка не закрыта"},
        {"a column named without a header", "1234567;100\r\n", "Телефон", false, "заголовка нет"},
        {"no row taken", "12345;100\r\n", "1", false, "ни одна строка не принята"},
        {"a column no row has", "1234567;100\r\n", "9", false,
         "нет столбца 9: в строках файла не больше 2"},
        {"the list held by a running Dialrun", "1234567;100\r\n", "1", true,
         "занят другой программой"},
    };
    for (const auto& c : cases) {
        fs::remove(root.path / "bill.csv");
        if (!c.csv.empty()) {
            root.write("bill.csv", c.csv);
        }
        root.write("Ring.TXT", old_list);
        auto before = files_under(root.path);
        o.csv = root.path / "bill.csv";
        o.number_column = c.number_column;
        std::string error;
        std::FILE* running =
            c.held ? core::open_exclusive(root.path / "Ring.TXT", "r+b", error) : nullptr;
        std::ostringstream out;
        EXPECT_EQ(ringlist::import_list(o, out), ringlist::REFUSED) << c.what;
        if (running != nullptr) {
            std::fclose(running);
        }
        EXPECT_NE(out.str().find(c.said), std::string::npos) << c.what << ": " << out.str();
        EXPECT_EQ(files_under(root.path), before) << c.what;
    }
}

// --append puts the new records before the end marker and refuses numbers already there;
// exclude marks the stop list's numbers X, never over Y, and retry leaves X alone.
TEST(Import, AppendAndExcludeKeepWhatTheListHas) {
    TempRoot root;
    root.write("Ring.TXT", "1111111      100 Y\r\n2222222      200 Z\r\n\r\nafter the end\r\n");
    root.write("more.csv", "2222222;5\r\n3333333;300\r\n4444444;400\r\n");
    ringlist::ImportOptions o;
    o.csv = root.path / "more.csv";
    o.list = root.path / "Ring.TXT";
    o.number_column = "1";
    o.amount_column = "2";
    o.append = true;
    std::ostringstream out;
    ASSERT_EQ(ringlist::import_list(o, out), ringlist::DONE) << out.str();
    EXPECT_EQ(root.read("Ring.TXT"),
              "1111111      100 Y\r\n2222222      200 Z\r\n3333333      300  \r\n"
              "4444444      400  \r\n\r\nafter the end\r\n");
    EXPECT_EQ(root.read("Ring.TXT.rejects.csv"), "1;номер уже есть в списке;2222222;5\r\n");

    root.write("stop.txt", "+998 71 111-11-11\n2222222\n3333333 # staff\n");
    out.str("");
    ASSERT_EQ(ringlist::exclude(root.path / "Ring.TXT", root.path / "stop.txt", "99871", out),
              ringlist::DONE)
        << out.str();
    EXPECT_NE(out.str().find("Исключено записей: 2 (без отметки: 1, Z: 1)"), std::string::npos)
        << out.str();
    std::string excluded = root.read("Ring.TXT");
    EXPECT_EQ(excluded,
              "1111111      100 Y\r\n2222222      200 X\r\n3333333      300 X\r\n"
              "4444444      400  \r\n\r\nafter the end\r\n");
    out.str("");
    ASSERT_EQ(ringlist::retry(root.path, {"ZN"}, out), ringlist::DONE);
    EXPECT_EQ(root.read("Ring.TXT"), excluded);

    // A stop-list line that is no number is named, and nothing changes.
    root.write("stop.txt", "4444444\nabc\n");
    out.str("");
    EXPECT_EQ(ringlist::exclude(root.path / "Ring.TXT", root.path / "stop.txt", "", out),
              ringlist::REFUSED);
    EXPECT_NE(out.str().find("строка 2 \"abc\": номер короче 7 цифр"), std::string::npos)
        << out.str();
    EXPECT_EQ(root.read("Ring.TXT"), excluded);
}
