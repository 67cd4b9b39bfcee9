#include <gtest/gtest.h>

#include "app/program_options.h"
#include "app/settings.h"
#include "app/settings_edit.h"
#include "link/serial_port.h"
#include "rackconf/settings_update.h"

using program::parse_program_options;

TEST(ProgramOptions, ReadsEveryOptionInBothSpellings) {
    auto p = parse_program_options(
        {"--port", "/dev/ttyUSB1", "--root=/srv/c", "--trace", "t.txt", "--console"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.port, "/dev/ttyUSB1");
    EXPECT_EQ(p.options.root, "/srv/c");
    EXPECT_EQ(p.options.trace_file, "t.txt");
    EXPECT_TRUE(p.options.console);
    EXPECT_FALSE(p.options.fast);

    p = parse_program_options({"--simulate", "r.rack", "--fast", "--time", "2026-12-07T09:05:03"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.rack_file, "r.rack");
    EXPECT_EQ(p.options.time->minute, 5);
    EXPECT_EQ(p.options.time->weekday, 1);

    // journal and status-file: the yes and no of a settings file in any case; else a path.
    struct Word {
        const char* written;
        const char* taken;
    } words[] = {{"yes", "yes"}, {"Yes", "yes"},   {"TRUE", "yes"},           {"on", "yes"},
                 {"1", "yes"},   {"no", "no"},     {"False", "no"},           {"OFF", "no"},
                 {"0", "no"},    {"Yes/", "Yes/"}, {"journal.d", "journal.d"}};
    for (const Word& w : words) {
        p = parse_program_options({"--journal", w.written, "--status-file", w.written});
        ASSERT_TRUE(p.ok) << w.written << ": " << p.error;
        EXPECT_EQ(p.options.journal, w.taken) << w.written;
        EXPECT_EQ(p.options.status_file, w.taken) << w.written;
    }

    p = parse_program_options({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.port, core::default_port_name());
#ifdef _WIN32
    EXPECT_EQ(p.options.root, "C:\\");  // c:\Ring.TXT means what it says
#else
    EXPECT_EQ(p.options.root, ".");
#endif
}

TEST(ProgramSettings, FilesAreReadLineByLineAndTheCommandLineWins) {
    struct Case {
        const char* text;
        std::string error;  // "" when read
        const char* port;
        const char* root;
    } cases[] = {
        {"# a comment\n\n  port = /dev/ttyUSB0  \nroot=/srv/rack\r\n", "", "/dev/ttyUSB0",
         "/srv/rack"},
        {"port = /dev/ttyACM0\nport = /dev/ttyACM1\n", "", "/dev/ttyACM1", ""},
        {"port /dev/ttyUSB0\n", "f.conf, строка 1: нужно \"ключ = значение\"", "", ""},
        {"\nspeed = 9600\n",
         "f.conf, строка 2: неизвестный ключ \"speed\" (есть port, root, reconnect, journal, "
         "journal-keep, status-file, clock-check, stop-hour, wait, call-start, call-days, "
         "holidays, retry, "
         "retry-gap, retry-marks, campaign-db, campaign, rack-name и claim-lease)",
         "", ""},
        // The shared campaign's database: Dialrun's own part wins, another program's is not
        // read.
        {"campaign-db = DSN=boardrack\nport = A\n[dialrun]\ncampaign-db = DSN=b; Pwd=x\n"
         "[pinread]\ncampaign-db = DSN=c\n",
         "", "A", ""},
        {"root =\n", "f.conf, строка 1: у ключа \"root\" нет значения", "", ""},
        // A comment after a value; a "#" inside a name stays; the byte-order mark of an
        // editor on Windows.
        {"port = /dev/ttyS0  # адаптер\nroot = /srv/стойка#2\t# вторая\n", "", "/dev/ttyS0",
         "/srv/стойка#2"},
        {"\xEF\xBB\xBFport = COM3\n", "", "COM3", ""},
        {"root = # забыли\n", "f.conf, строка 1: у ключа \"root\" нет значения", "", ""},
        // A section's keys are the one program's; the others' are skipped, but checked.
        {"port = A\n[pinread]\nport = B\n[dialrun]\nroot = /r\n", "", "A", "/r"},
        {"port = A\n[dialrun]\nport = B\n[inform]\nport = C\n", "", "B", ""},
        {"[voice]\n",
         "f.conf, строка 1: неизвестный раздел \"[voice]\" (есть [dialrun], [pinread] и [inform])",
         "", ""},
        {"[pinread]\nreconnect = soon\n",
         "f.conf, строка 2: reconnect: нужно число секунд от 0 до 86400, а не 'soon'", "", ""},
        {"clock-check = sometimes\n",
         "f.conf, строка 1: clock-check: нужно off, warn или hold, а не 'sometimes'", "", ""},
        // A subscriber told once is never called again; a cap of 0 calls is no campaign.
        {"[dialrun]\nretry-marks = ZY\n",
         "f.conf, строка 2: retry-marks: отметку Y повторять нельзя: оповещенным позвонили бы "
         "второй раз",
         "", ""},
        {"retry-marks = S\n", "f.conf, строка 1: retry-marks: нужны отметки Z и/или N, а не 'S'",
         "", ""},
        {"retry = 0\n", "f.conf, строка 1: retry: нужно число от 1 до 99, а не '0'", "", ""},
        {"[inform]\nstatus-file = /\n",
         "f.conf, строка 2: status-file: / - папка, а нужен путь файла (или yes, или no)", "", ""},
    };
    for (const Case& c : cases) {
        program::Settings s;
        EXPECT_EQ(program::read_settings_text(c.text, "f.conf", "dialrun", s), c.error) << c.text;
        if (c.error.empty()) {
            EXPECT_EQ(s.values["port"].value, c.port) << c.text;
            EXPECT_EQ(s.values["root"].value, c.root) << c.text;
            EXPECT_EQ(
                s.values["campaign-db"].value,
                std::string(c.text).find("campaign-db") != std::string::npos ? "DSN=b; Pwd=x" : "")
                << c.text;
        }
        // Inform reads the same file and must start from it too.
        program::Settings inform;
        std::string said = program::read_settings_text(c.text, "f.conf", "inform", inform);
        EXPECT_EQ(said, c.error) << c.text;
    }

    // A file that is there but cannot be read is kept to be said; a --config folder is refused.
    std::string folder = ::testing::TempDir();
    program::Settings read;
    EXPECT_EQ(program::load_settings({folder, "/no/such/boardrack.conf"}, "", "dialrun", read), "");
    ASSERT_EQ(read.unread.size(), 1u);
    EXPECT_EQ(read.unread[0], std::make_pair(folder, std::string("это папка, а не файл")));
    EXPECT_EQ(program::load_settings({folder}, folder, "dialrun", read),
              folder + ": файл настроек не открыт: это папка, а не файл");

    program::Settings files;
    files.values["port"] = {"/dev/ttyUSB0", "/etc/boardrack.conf, строка 1"};
    files.values["root"] = {"/srv/rack", "/etc/boardrack.conf, строка 2"};
    auto p = parse_program_options({"--root", "/tmp/c"});
    program::Settings used = program::apply_settings(p.options, files);
    EXPECT_EQ(p.options.port, "/dev/ttyUSB0");
    EXPECT_EQ(used.values["port"].source, "/etc/boardrack.conf, строка 1");
    EXPECT_EQ(p.options.root, "/tmp/c");
    EXPECT_EQ(used.values["root"].source, "параметр --root");
    // A port from a file means nothing to the simulated rack, and is no conflict with it.
    p = parse_program_options({"--simulate", "r.rack"});
    ASSERT_TRUE(p.ok);
    used = program::apply_settings(p.options, files);
    EXPECT_EQ(p.options.rack_file, "r.rack");
    EXPECT_EQ(p.options.root, "/srv/rack");
}

// The installers set the port and the folder in a file an administrator may have written:
// every other line is kept, the key is set for every program (before the first section), and
// the file keeps its own line ends.
TEST(ProgramSettings, AnInstallerSetsAKeyAndKeepsEveryOtherLine) {
    struct Case {
        const char* text;
        const char* key;
        const char* value;
        const char* edited;  // null when refused
    } cases[] = {
        {"", "port", "COM3", "port = COM3\r\n"},
        {"# стойка 2\nport = COM1  # было\nroot = D:\\Rack\n", "port", "COM3",
         "# стойка 2\nport = COM3\nroot = D:\\Rack\n"},
        {"# стойка\r\njournal = yes\r\n[inform]\r\nport = COM9\r\n", "port", "COM3",
         "# стойка\r\njournal = yes\r\nport = COM3\r\n[inform]\r\nport = COM9\r\n"},
        {"journal = yes\r\nreconnect = 30", "root", "D:\\Boardrack",
         "journal = yes\r\nreconnect = 30\r\nroot = D:\\Boardrack\r\n"},
        {"#root = C:\\old\nroot=C:\\Boardrack\n", "root", "E:\\Данные",
         "#root = C:\\old\nroot = E:\\Данные\n"},
        // An editor's byte-order mark: the first line is still the key's, the mark stays.
        {"\xEF\xBB\xBFport = COM1\r\njournal = yes\r\n", "port", "COM3",
         "\xEF\xBB\xBFport = COM3\r\njournal = yes\r\n"},
        {"\xEF\xBB\xBF", "root", "D:\\Rack", "\xEF\xBB\xBFroot = D:\\Rack\n"},
        {"port = COM1\n", "reconnect", "soon", nullptr},
        {"speed = 9600\n", "port", "COM3", nullptr},
    };
    for (const Case& c : cases) {
        std::string edited = "unchanged";
        std::string wrong = program::set_setting(c.text, "f.conf", c.key, c.value, edited);
        if (c.edited != nullptr) {
            EXPECT_EQ(wrong, "") << c.text;
            EXPECT_EQ(edited, c.edited) << c.text;
        } else {
            EXPECT_NE(wrong.rfind("f.conf, строка ", 0), std::string::npos) << c.text;
            EXPECT_EQ(edited, "unchanged") << c.text;
        }
    }
}

// rackconf as the installers run it: the port and the folder come byte for byte from the end
// of the command line, each is written so that the programs read back what was given, or the
// whole update is refused and the file keeps every byte.
TEST(ProgramSettings, RackconfWritesWhatReadsBackOrRefusesBeforeWriting) {
    struct Case {
        const char* command_line;  // as an installer starts rackconf
        const char* text;          // the settings file before
        const char* edited;        // after; null when refused
        const char* refusal;       // the start of the refusal
    } cases[] = {
        // A folder ending in a backslash, with and without a blank in it.
        {R"("C:\P F\rackconf.exe" --installer COM3|C:\Rack3\)", "",
         "port = COM3\r\nroot = C:\\Rack3\\\r\n", nullptr},
        {R"("C:\P F\rackconf.exe" --installer |C:\Rack data\)", "port = COM5\r\n",
         "port = COM5\r\nroot = C:\\Rack data\\\r\n", nullptr},
        // Nothing given: the file's own port and folder stay, whatever wrote them.
        {R"(rackconf.exe --installer |)", "root = D:\\Kept\r\njournal = yes\r\n",
         "root = D:\\Kept\r\njournal = yes\r\nport = COM1\r\n", nullptr},
        {R"(rackconf.exe --installer |)", "", "port = COM1\r\nroot = C:\\Boardrack\r\n", nullptr},
        // A "#" the reader would take for a comment; one inside a name is the name's.
        {R"(rackconf.exe --installer |C:\Rack #2)", "root = D:\\Old\r\n", nullptr,
         "root 'C:\\Rack #2': в значении \"#\" в начале"},
        {R"(rackconf.exe --installer |#C:\Rack)", "", nullptr, "root '#C:\\Rack': в значении"},
        {R"(rackconf.exe --installer |C:\Rack#2)", "", "port = COM1\r\nroot = C:\\Rack#2\r\n",
         nullptr},
        // Line breaks, blanks at either end, a quote that a command line let through.
        {"rackconf.exe --installer COM3|C:\\Rack\r\njournal = yes", "", nullptr,
         "root 'C:\\Rack\r\njournal = yes': в значении перевод строки"},
        {"rackconf.exe --installer COM3\n|", "", nullptr, "port 'COM3\n': в значении перевод"},
        {"rackconf.exe --installer COM3|C:\\Rack ", "", nullptr,
         "root 'C:\\Rack ': пробел в начале или в конце"},
        {"rackconf.exe --installer  COM3|", "", nullptr, "port ' COM3': пробел в начале"},
        {"rackconf.exe --installer COM3|C:\\Rack3\"", "", nullptr,
         "root 'C:\\Rack3\"': в значении кавычка"},
        {"rackconf.exe --installer COM3|C:\\A|B", "", nullptr, "root 'C:\\A|B': в значении \"|\""},
        {"rackconf.exe --installer COM3|C:\\A\tB", "", nullptr,
         "root 'C:\\A\tB': в значении управляющий знак"},
        // A file that starts with a byte-order mark has its port line replaced, not doubled.
        {"rackconf.exe --installer COM4|", "\xEF\xBB\xBFport = COM1\r\nroot = E:\\R\r\n",
         "\xEF\xBB\xBFport = COM4\r\nroot = E:\\R\r\n", nullptr},
        // ringlist db's key stays as it was.
        {"rackconf.exe --installer COM4|", "campaign-db = DSN=b\r\nport = COM1\r\nroot = E:\\R\r\n",
         "campaign-db = DSN=b\r\nport = COM4\r\nroot = E:\\R\r\n", nullptr},
        // A file the programs refuse is not written over.
        {"rackconf.exe --installer COM4|", "port = COM1\r\nspeed = 9600\r\n", nullptr,
         "f.conf, строка 2: неизвестный ключ"},
    };
    for (const Case& c : cases) {
        std::string tail;
        ASSERT_TRUE(rackconf::installer_tail(c.command_line, tail)) << c.command_line;
        rackconf::InstallerValues given;
        ASSERT_EQ(rackconf::split_installer_values(tail, given), "") << c.command_line;
        rackconf::SettingsUpdate update;
        std::string wrong =
            rackconf::update_settings(c.text, "f.conf", given, {"COM1", "C:\\Boardrack"}, update);
        if (c.edited != nullptr) {
            EXPECT_EQ(wrong, "") << c.command_line;
            EXPECT_EQ(update.text, c.edited) << c.command_line;
            EXPECT_EQ(update.changed, std::string(c.text) != c.edited) << c.command_line;
        } else {
            EXPECT_EQ(wrong.rfind(c.refusal, 0), 0u) << c.command_line << "\n" << wrong;
        }
    }
    std::string tail;
    EXPECT_FALSE(rackconf::installer_tail("rackconf.exe --port COM3 --root C:\\R\\", tail));
    rackconf::InstallerValues given;
    EXPECT_EQ(rackconf::split_installer_values("COM3", given),
              "--installer: нужно ПОРТ|ПАПКА, а не 'COM3'");
}

TEST(ProgramOptions, RefusesWhatCannotWorkWithAReason) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--fast"}, "--fast работает только с --simulate: у настоящих плат время настоящее"},
        {{"--simulate", "r", "--time", "2026-12-07T09:05:03"},
         "--time задает часы ПК только вместе с --fast"},
        {{"--simulate", "r", "--fast", "--time", "9:05"},
         "неверное время '9:05': нужно ГГГГ-ММ-ДДTЧЧ:ММ:СС"},
        {{"--port", "COM2", "--simulate", "r"},
         "--port и --simulate вместе не задаются: либо порт, либо имитатор"},
        {{"--root"}, "у параметра --root нет значения"},
        {{"--config", "a.conf", "--no-settings"}, "--config и --no-settings вместе не задаются"},
        {{"--colour"}, "неизвестный параметр '--colour'"},
        {{"--console=yes"}, "неизвестный параметр '--console=yes'"},
        {{"rack.txt"}, "неизвестный параметр 'rack.txt'"},
        {{"--status-file", "/"}, "status-file: / - папка, а нужен путь файла (или yes, или no)"},
    };
    for (const Case& c : cases) {
        auto p = parse_program_options(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.error, c.error);
    }
}
