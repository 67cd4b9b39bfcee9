// ringlist import and exclude: a billing system's CSV made into a list, rows left out with
// their reasons, and stop-listed numbers never called.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
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

// Excel's "Unicode text" of ASCII and Russian letters (two bytes each in UTF-8).
std::string utf16le(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned u = static_cast<unsigned char>(utf8[i]);
        if (u >= 0xC0) {
            u = ((u & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        }
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

// Rows whose quoted names hold the separator; 1000001, 1000002 ... with amounts 1, 2 ...
std::string quoted_rows(int n) {
    std::string rows;
    for (int i = 1; i <= n; ++i) {
        rows += "\"Иванов, Иван " + std::to_string(i) + "\"," + std::to_string(1000000 + i) + "," +
                std::to_string(i) + "\n";
    }
    return rows;
}

std::string quoted_list(int n) {
    std::string list;
    for (int i = 1; i <= n; ++i) {
        std::string amount = std::to_string(i);
        list += std::to_string(1000000 + i) + "  " + std::string(7 - amount.size(), ' ') + amount +
                "  \r\n";
    }
    return list;
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
        // A spreadsheet's number cell: a zero fraction is no digits of the number, any other
        // fraction makes it no subscriber's number at all.
        {"7123456,00", Reject::none, "7123456"},
        {"8123456.0", Reject::none, "8123456"},
        {"7 123 456,00", Reject::none, "7123456"},
        {"7,123,456.00", Reject::none, "7123456"},
        {"99871 123 45 67,000", Reject::none, "1234567"},
        {"7123456,5", Reject::fraction, ""},
        {"99871123456.70", Reject::fraction, ""},
        {"123.4567", Reject::fraction, ""},
        {"71-123-45,00", Reject::fraction, ""},
        // Whatever stands around the number hides neither its decimal mark nor its fraction.
        {"7123456,00р.", Reject::none, "7123456"},
        {"(7123456,00)", Reject::none, "7123456"},
        {"\"7123456,00\"", Reject::none, "7123456"},
        {"тел. 7123456.00", Reject::none, "7123456"},
        {"7123456,00 доб.", Reject::none, "7123456"},
        {"7123456.00.", Reject::none, "7123456"},
        {"7123456,50%", Reject::fraction, ""},
        // Phone punctuation with dots is not a fraction.
        {"123.45.67", Reject::none, "1234567"},
        {"8.71.123.45.67", Reject::none, "1234567"},
    };
    for (const auto& c : numbers) {
        std::string number;
        EXPECT_EQ(ringlist::normalise_number(c.field, PREFIXES, number), c.reject) << c.field;
        if (c.reject == Reject::none) {
            EXPECT_EQ(number, c.number) << c.field;
        }
    }
    // A short prefix must never eat the digits a fraction left behind.
    std::string number;
    EXPECT_EQ(ringlist::normalise_number("7123456,00", {"99871", "871", "71"}, number),
              Reject::none);
    EXPECT_EQ(number, "7123456");
    EXPECT_EQ(ringlist::normalise_number("8123456.0", {"8"}, number), Reject::none);
    EXPECT_EQ(number, "8123456");
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
        {"12 руб", Reject::none, 12},
        {"1 234,50 \xE2\x82\xBD", Reject::none, 1235},
        {"100 р.", Reject::none, 100},
        {"99,5 Руб.", Reject::none, 100},
        {"12 кг", Reject::amount_not_number, 0},
        {"руб.", Reject::amount_not_number, 0},
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

// Any cell a billing system or a spreadsheet may write: the seven digits taken are always the
// last seven of the cell's own number, and only when that number is seven digits or a prefix
// and seven; else the cell is refused. A seeded generator, so a failure repeats.
TEST(Import, AGeneratedCellNeverBecomesAnotherSubscriber) {
    const std::vector<std::string> prefixes = {"99871", "871", "71", "8"};
    const char* const lead_ins[] = {"", "", "71", "871", "99871", "8", "7", "9", "998", "1"};
    const char* const fractions[] = {"", "", "", ",00", ".0", ",000", ",5", ".25", ",01", ".9"};
    std::mt19937 random(20261210);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int taken = 0;
    int refused = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string own = lead_ins[pick(10)];
        int length = pick(4) == 0 ? 4 + pick(9) : 7;
        for (int d = 0; d < length; ++d) {
            own += static_cast<char>('0' + pick(10));
        }
        std::string fraction = fractions[pick(10)];
        std::string cell;
        int style = pick(4);
        for (size_t d = 0; d < own.size(); ++d) {
            size_t left = own.size() - d;
            if (d > 0 && style == 1 && left % 3 == 0) {
                cell += pick(2) == 0 ? " " : "\xC2\xA0";  // thousands, as a sheet shows them
            } else if (d > 0 && style == 2 && pick(4) == 0) {
                cell += "- ()"[pick(4)];  // a phone written by hand
            } else if (d > 0 && style == 3 && (left == 2 || left == 4)) {
                cell += '.';  // 123.45.67
            }
            cell += own[d];
        }
        // A fraction comes with a number cell, or after a hand-written phone; dots in a
        // phone and a fraction together are no one's number, and not generated.
        fraction = style == 3 ? "" : fraction;
        cell = (pick(3) == 0 ? "+" : "") + cell + fraction + (pick(3) == 0 ? "  " : "");
        std::string number;
        ringlist::Reject reject = ringlist::normalise_number(cell, prefixes, number);
        bool zero_fraction = fraction.find_first_not_of(",.0") == std::string::npos;
        if (reject != Reject::none) {
            ++refused;
            continue;
        }
        ++taken;
        ASSERT_TRUE(zero_fraction) << cell << " -> " << number;
        ASSERT_EQ(number, own.substr(own.size() - 7)) << cell;
        bool ours = own.size() == 7;
        for (const std::string& p : prefixes) {
            ours = ours || (own.size() == p.size() + 7 && own.compare(0, p.size(), p) == 0);
        }
        ASSERT_TRUE(ours) << cell << " -> " << number;
    }
    // The generator reaches both sides.
    EXPECT_GT(taken, 2000);
    EXPECT_GT(refused, 2000);
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
        {"commas and quoted names past the first 4096 bytes, a short row, a trailing comma",
         "name,phone,debt\n" + quoted_rows(120) + "short,1\n\"Петров, Петр\",7654321,5,\n",
         {"--header", "--number", "PHONE", "--amount", "Debt"},
         quoted_list(120) + "7654321        5  \r\n\r\n",
         "строка,причина,name,phone,debt\r\n122,нет такого столбца в строке,short,1\r\n"},
        {"Excel's Unicode text: UTF-16LE with its mark and tabs; Cyrillic header in any case",
         utf16le("Абонент\tТелефон\tДолг\r\nИванов\t1234567\t1 234,50 р.\r\n"
                 "Петров\t123\t5\r\n"),
         {"--header", "--number", "телефон", "--amount", "ДОЛГ"},
         "1234567     1235  \r\n\r\n",
         utf16le("строка\tпричина\tАбонент\tТелефон\tДолг\r\n3\tномер короче 7 цифр\t"
                 "Петров\t123\t5\r\n")},
        {"empty formatted rows skipped, not rejected; a number cell's zero fraction dropped",
         "1234567,00;100 \xE2\x82\xBD\r\n;;;\r\n ; \r\n7123456,00;5\r\n",
         {"--number", "1", "--amount", "2", "--prefix", "99871,871,71"},
         "1234567      100  \r\n7123456        5  \r\n\r\n",
         ""},
        {"a fraction that is no number's: refused as such",
         "7123456,5;100\r\n1234567;1\r\n",
         {"--number", "1", "--amount", "2", "--prefix", "71"},
         "1234567        1  \r\n\r\n",
         "1;номер с дробной частью (или точкой, запятой перед последними цифрами): не ясно, "
         "чей;7123456,5;100\r\n"},
        {"CR-only lines, a quoted line break: the next row's line is right",
         "7654321;\"a\rb\";5\r12345;x;1\r",
         {"--number", "1", "--amount", "3"},
         "7654321        5  \r\n\r\n",
         "3;номер короче 7 цифр;12345;x;1\r\n"},
        {"a sum over seven digits names the sum",
         "1234567;9999999\r\n1234567;1\r\n7654321;2\r\n7654321;3\r\n",
         {"--number", "1", "--amount", "2", "--duplicates", "sum"},
         "1234567  9999999  \r\n7654321        5  \r\n\r\n",
         "2;сумма вместе с повтором номера длиннее 7 цифр: 10000000 (со строкой 1);1234567;1\r\n"},
        {"a row wider than its header (a comma in an address not quoted) is left out, not read "
         "with its columns shifted; empty fields after the last value are no sign of that",
         "phone,address,debt\n1234567,ул. Ленина, 5,100\n2345678,Мира 3,200,\n"
         "3456789,Мира 4,300,, \n4567890,Мира 5,400\n",
         {"--header", "--number", "phone", "--amount", "debt", "--separator", ","},
         "2345678      200  \r\n3456789      300  \r\n4567890      400  \r\n\r\n",
         "строка,причина,phone,address,debt\r\n2,\"в строке больше полей, чем в заголовке: "
         "столбцы сдвинуты (разделитель в поле без кавычек?)\",1234567,ул. Ленина, 5,100\r\n"},
        {"a header closed by a separator names no column more: a value past it is a shift",
         "phone;debt;\r\n1234567;100;\r\n2345678;200;7\r\n",
         {"--header", "--number", "phone", "--amount", "debt", "--separator", ";"},
         "1234567      100  \r\n\r\n",
         "строка;причина;phone;debt;\r\n3;в строке больше полей, чем в заголовке: столбцы сдвинуты "
         "(разделитель в поле без кавычек?);2345678;200;7\r\n"},
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
            } else if (a == "--separator") {
                o.separator = args[++i][0];
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
        bool list_a_dead_link = false;  // the list's name a link that leads nowhere
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
        {"the list's name a link that leads nowhere", "1234567;100\r\n", "1", false,
         "Ring.TXT: не обычный файл (ссылка, которая никуда не ведет)", true},
    };
    for (const auto& c : cases) {
        fs::remove(root.path / "bill.csv");
        if (!c.csv.empty()) {
            root.write("bill.csv", c.csv);
        }
        fs::remove(root.path / "Ring.TXT");
        if (c.list_a_dead_link) {
            fs::create_symlink(root.path / "gone" / "Ring.TXT", root.path / "Ring.TXT");
        } else {
            root.write("Ring.TXT", old_list);
        }
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
        EXPECT_EQ(fs::is_symlink(root.path / "Ring.TXT"), c.list_a_dead_link) << c.what;
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

    // What a killed writer left aside is removed, and said; a file of another name stays.
    root.write("Ring.TXT.new", "1111111      1");
    root.write("Ring.TXT.20261208-093000-2.bak.new", "1111111      100 Y\r\n");
    root.write("Ring.TXT.notes.new", "mine");
    // Lines ended by CR alone, a number cell's zero fraction.
    root.write("stop.txt", "+998 71 111-11-11\r2222222,00\r3333333 # staff\r");
    out.str("");
    ASSERT_EQ(ringlist::exclude(root.path / "Ring.TXT", root.path / "stop.txt", "99871", out),
              ringlist::DONE)
        << out.str();
    EXPECT_NE(out.str().find("Исключено записей: 2 (без отметки: 1, Z: 1)"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("Удален недописанный файл прерванной записи: " +
                             (root.path / "Ring.TXT.20261208-093000-2.bak.new").string()),
              std::string::npos)
        << out.str();
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.new"));
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.20261208-093000-2.bak.new"));
    EXPECT_EQ(root.read("Ring.TXT.notes.new"), "mine");
    fs::remove(root.path / "Ring.TXT.notes.new");
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

// The clerk's files are inputs, never outputs: the list itself named as the CSV (by another
// name too) is refused; the rejects file brought back is kept as .bak. The rejects and the list
// are one result: an import stopped between them is finished or undone by the next one.
TEST(Import, InputsAreKeptAndTheRejectsAlwaysMatchTheList) {
    TempRoot root;
    ringlist::ImportOptions o;
    o.list = root.path / "Ring.TXT";
    o.number_column = "1";
    o.amount_column = "2";
    std::ostringstream out;

    // The list as its own input, by its name and through a link.
    root.write("Ring.TXT", "1234567;100\r\n");
    fs::create_symlink(root.path / "Ring.TXT", root.path / "bill.csv");
    for (const char* name : {"Ring.TXT", "bill.csv"}) {
        o.csv = root.path / name;
        out.str("");
        EXPECT_EQ(ringlist::import_list(o, out), ringlist::REFUSED) << name;
        EXPECT_NE(out.str().find("это сам список"), std::string::npos) << out.str();
        EXPECT_EQ(root.read("Ring.TXT"), "1234567;100\r\n");
    }
    fs::remove(root.path / "bill.csv");
    fs::remove(root.path / "Ring.TXT");

    // A first import leaves two rows out; the clerk mends one and imports the rejects file.
    root.write("bill.csv", "1234567;100\r\n12345;5\r\n2345678;x\r\n");
    o.csv = root.path / "bill.csv";
    out.str("");
    ASSERT_EQ(ringlist::import_list(o, out), ringlist::DONE) << out.str();
    EXPECT_NE(out.str().find("Прочитано строк: 3, записано в список: 1, отклонено: 2\n"),
              std::string::npos)
        << out.str();
    const std::string mended = "2;номер короче 7 цифр;7654321;5\r\n3;сумма не число;2345678;x\r\n";
    root.write("Ring.TXT.rejects.csv", mended);
    o.csv = root.path / "Ring.TXT.rejects.csv";
    o.number_column = "3";
    o.amount_column = "4";
    o.append = true;
    out.str("");
    ASSERT_EQ(ringlist::import_list(o, out), ringlist::DONE) << out.str();
    EXPECT_EQ(root.read("Ring.TXT"), "1234567      100  \r\n7654321        5  \r\n\r\n");
    EXPECT_EQ(root.read("Ring.TXT.rejects.csv.bak"), mended);
    EXPECT_EQ(root.read("Ring.TXT.rejects.csv"), "2;сумма не число;3;сумма не число;2345678;x\r\n");
    // Mended again, nothing rejected: the input still stays, as .bak.
    const std::string last = "3;сумма не число;2345678;7\r\n";
    root.write("Ring.TXT.rejects.csv", last);
    out.str("");
    ASSERT_EQ(ringlist::import_list(o, out), ringlist::DONE) << out.str();
    EXPECT_EQ(root.read("Ring.TXT.rejects.csv.bak"), last);
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.rejects.csv"));

    // Stopped after the list took its place, before its rejects did (the rejects' place is
    // taken by a folder, so that rename fails as a kill would leave it): the journal stays.
    o.append = false;
    o.number_column = "1";
    o.amount_column = "2";
    o.csv = root.path / "bill.csv";
    fs::create_directories(root.path / "Ring.TXT.rejects.csv" / "in the way");
    out.str("");
    // Not all done is not success: the list is in place, its rejects are not.
    ASSERT_EQ(ringlist::import_list(o, out), ringlist::REFUSED) << out.str();
    EXPECT_NE(out.str().find("Отклоненные строки не на месте"), std::string::npos) << out.str();
    EXPECT_EQ(root.read("Ring.TXT"), "1234567      100  \r\n\r\n");
    EXPECT_TRUE(fs::exists(root.path / "Ring.TXT.import"));
    EXPECT_EQ(root.read("Ring.TXT.rejects.csv.new"),
              "2;номер короче 7 цифр;12345;5\r\n3;сумма не число;2345678;x\r\n");
    // The next import, even one that refuses, first puts those rejects in place.
    fs::remove_all(root.path / "Ring.TXT.rejects.csv");
    root.write("none.csv", "12;1\r\n34;2\r\n");
    o.csv = root.path / "none.csv";
    out.str("");
    EXPECT_EQ(ringlist::import_list(o, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("Прерванный импорт доведен до конца"), std::string::npos) << out.str();
    EXPECT_EQ(root.read("Ring.TXT.rejects.csv"),
              "2;номер короче 7 цифр;12345;5\r\n3;сумма не число;2345678;x\r\n");
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.import"));
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.rejects.csv.new"));

    // Stopped the same way, and the new list was called since (a mark written in it): it is
    // still the import's list, and its rejects go beside it.
    fs::remove(root.path / "Ring.TXT.rejects.csv");
    fs::create_directories(root.path / "Ring.TXT.rejects.csv" / "in the way");
    o.csv = root.path / "bill.csv";
    out.str("");
    ASSERT_EQ(ringlist::import_list(o, out), ringlist::REFUSED) << out.str();
    ASSERT_TRUE(fs::exists(root.path / "Ring.TXT.import"));
    fs::remove_all(root.path / "Ring.TXT.rejects.csv");
    root.write("Ring.TXT", "1234567      100 Y\r\n\r\n");
    o.csv = root.path / "none.csv";
    out.str("");
    EXPECT_EQ(ringlist::import_list(o, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("Прерванный импорт доведен до конца: его список на месте (с "
                             "отметками, поставленными после)"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(root.read("Ring.TXT"), "1234567      100 Y\r\n\r\n");
    EXPECT_EQ(root.read("Ring.TXT.rejects.csv"),
              "2;номер короче 7 цифр;12345;5\r\n3;сумма не число;2345678;x\r\n");
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.import"));
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.rejects.csv.new"));

    // Stopped again the same way; then the list is not the journal's (its rename never
    // happened): the new rejects are dropped and the old ones stay.
    fs::remove(root.path / "Ring.TXT.rejects.csv");
    fs::create_directories(root.path / "Ring.TXT.rejects.csv" / "in the way");
    o.csv = root.path / "bill.csv";
    out.str("");
    ASSERT_EQ(ringlist::import_list(o, out), ringlist::REFUSED) << out.str();
    ASSERT_TRUE(fs::exists(root.path / "Ring.TXT.import"));
    root.write("Ring.TXT", "7777777      700  \r\n\r\n");
    o.csv = root.path / "none.csv";
    out.str("");
    EXPECT_EQ(ringlist::import_list(o, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("Прерванный импорт отменен"), std::string::npos) << out.str();
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.rejects.csv.new"));
    EXPECT_FALSE(fs::exists(root.path / "Ring.TXT.import"));
    EXPECT_TRUE(fs::exists(root.path / "Ring.TXT.rejects.csv" / "in the way"));
}

// What an operator types that is not what the import can do gets a plain answer.
TEST(Import, ColumnsAndEncodingsSaidPlainly) {
    const struct {
        const char* what;
        std::string csv;
        std::vector<std::string> columns;  // number, amount, and "header" when there is one
        int status;
        const char* said;
    } cases[] = {
        {"column 0",
         "1234567;1\r\n",
         {"0", "2"},
         ringlist::USAGE,
         "--number 0: столбцы считаются с 1"},
        {"one column for both",
         "Телефон;Сумма\r\n1234567;1\r\n",
         {"телефон", "1", "header"},
         ringlist::REFUSED,
         "--number и --amount называют один столбец (1)"},
        {"UTF-8 with one stray byte",
         "Имя;Телефон;Долг\r\nЯ\xFF;1234567;1\r\n",
         {"2", "3"},
         ringlist::DONE,
         "строке 2 не UTF-8: файл прочитан как Windows-1251. Если это не так, "
         "укажите --encoding utf-8"},
        {"no separator splits the rows alike",
         "a;b;c\r\nd,e\r\nf\tg\th\ti\r\n",
         {"1", "2"},
         ringlist::REFUSED,
         "укажите --separator"},
    };
    for (const auto& c : cases) {
        TempRoot root;
        root.write("bill.csv", c.csv);
        ringlist::ImportOptions o;
        o.csv = root.path / "bill.csv";
        o.list = root.path / "new" / "Ring.TXT";
        o.number_column = c.columns[0];
        o.amount_column = c.columns[1];
        o.header = c.columns.size() > 2;
        std::ostringstream out;
        EXPECT_EQ(ringlist::import_list(o, out), c.status) << c.what << "\n" << out.str();
        EXPECT_NE(out.str().find(c.said), std::string::npos) << c.what << "\n" << out.str();
        // A new campaign's folder is made for its list; a refusal makes none.
        EXPECT_EQ(fs::exists(root.path / "new" / "Ring.TXT"), c.status == ringlist::DONE) << c.what;
    }
}
