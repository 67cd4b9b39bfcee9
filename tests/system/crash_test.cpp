// Dialrun killed with SIGKILL at random moments of a campaign: nothing reported as saved may
// be lost, no byte of the list but a mark may change, and a restarted program finishes. And
// every file the programs and tools read, swapped for one that is not what it should be.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "sound/wav_file.h"

namespace fs = std::filesystem;

namespace {

const int RECORDS = 300;
// The records of the list that are not marked yet: every 11th from the 5th and every 13th
// from the 7th carry a mark.
const long FRESH = 252;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Results in both logs so far: whole 70-byte lines.
long results_logged(const fs::path& root) {
    std::error_code ec;
    long bytes = 0;
    for (const char* name : {"RINGY.txt", "RINGN.txt"}) {
        auto size = fs::file_size(root / name, ec);
        bytes += ec ? 0 : static_cast<long>(size);
    }
    return bytes / 70;
}

// Starts a campaign ("wait", "start", then the end of input waits for the run). With a kill
// point, the program is killed delay after the logs hold that many results, so every kill
// follows the program's progress whatever the machine's load; a campaign that ends first is
// left to end. Without one it runs to its end. Each run starts an hour after the one before
// (run counts them), so that the logs' stamps follow the order of the calls.
void run_campaign(const fs::path& root, const fs::path& rack,
                  std::optional<std::pair<long, std::chrono::microseconds>> kill_point, bool retry,
                  int run) {
    char start[32];
    std::snprintf(start, sizeof start, "2026-12-08T%02d:00:00", 9 + run);
    int in[2];
    ASSERT_EQ(::pipe(in), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::close(in[1]);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (retry) {
            ::execl(DIALRUN_PATH, "dialrun", "--no-settings", "--console", "--fast", "--time",
                    start, "--root", root.c_str(), "--simulate", rack.c_str(), "--retry", "2",
                    "--retry-gap", "1", static_cast<char*>(nullptr));
        }
        ::execl(DIALRUN_PATH, "dialrun", "--no-settings", "--console", "--fast", "--time", start,
                "--root", root.c_str(), "--simulate", rack.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    const char commands[] = "wait\nstart\n";
    ASSERT_EQ(::write(in[1], commands, sizeof commands - 1),
              static_cast<ssize_t>(sizeof commands - 1));
    ::close(in[1]);
    int status = 0;
    if (kill_point) {
        auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (results_logged(root) < kill_point->first) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                return;  // the campaign ended before that result
            }
            if (std::chrono::steady_clock::now() > give_up) {
                ADD_FAILURE() << "no result " << kill_point->first << " within two minutes";
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        std::this_thread::sleep_for(kill_point->second);
        ::kill(pid, SIGKILL);
    }
    ::waitpid(pid, &status, 0);
}

struct LogLines {
    std::vector<std::string> lines;  // whole lines
    bool torn = false;               // a partial line at the end
};

LogLines log_lines(const fs::path& path) {
    std::string text = read_file(path);
    LogLines log;
    for (size_t i = 0; i + 70 <= text.size(); i += 70) {
        log.lines.push_back(text.substr(i, 70));
    }
    log.torn = text.size() % 70 != 0;
    return log;
}

// The count of each number in Ring.TXT.attempts, the last line of its position standing.
std::map<std::string, int> attempts_counted(const fs::path& root) {
    std::map<int, std::pair<std::string, int>> by_position;
    std::istringstream lines(read_file(root / "Ring.TXT.attempts"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        int position = 0, count = 0;
        std::string number;
        if (line.back() == '\r' && fields >> position >> number >> count) {
            by_position[position] = {number, count};
        }
    }
    std::map<std::string, int> counted;
    for (const auto& [position, entry] : by_position) {
        counted[entry.first] = entry.second;
    }
    return counted;
}

// When a log line was written, as text that sorts in time order within a year.
std::string stamp_of(const std::string& line) {
    return line.substr(13, 2) + line.substr(10, 2) + line.substr(16, 8);
}

// No number is called after its "Y": one line in RINGY.txt at most, and none in RINGN.txt
// written after it.
void expect_no_call_after_y(const LogLines& y, const LogLines& n, int kill) {
    std::map<std::string, std::string> notified;  // number: its line's stamp
    for (const std::string& line : y.lines) {
        EXPECT_TRUE(notified.emplace(line.substr(0, 7), stamp_of(line)).second)
            << line.substr(0, 7) << " notified twice, kill " << kill;
    }
    for (const std::string& line : n.lines) {
        auto at = notified.find(line.substr(0, 7));
        EXPECT_TRUE(at == notified.end() || stamp_of(line) <= at->second)
            << line.substr(0, 7) << " called after its Y, kill " << kill;
    }
}

}  // namespace

TEST(CrashDurability, KilledCampaignsLoseNothingAndFinishAfterARestart) {
    std::mt19937 random(20261208);
    fs::path dir = fs::path(::testing::TempDir()) / ("crash_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path rack = dir / "rack.txt";
    std::ofstream(rack) << "K1 ring line busy=0 results=1,2,0\nK2 ring line busy=1 results=1\n"
                           "K3 ring line busy=2 results=3,1\nK4 ring line busy=0 results=1,2\n";
    int kills = 0;
    int campaigns = 0;
    int mid_campaign = 0;  // kills that left some fresh records marked and some not
    while (kills < 200) {
        // Every other campaign with a retry round: each call is counted before it is placed,
        // so a kill never leaves a call logged but not counted.
        const bool retry = campaigns % 2 == 1;
        fs::path root = dir / std::string("c").append(std::to_string(campaigns++));
        fs::create_directories(root);
        std::string original;
        for (int i = 0; i < RECORDS; ++i) {
            char mark = i % 11 == 5 ? 'Y' : i % 13 == 7 ? 'N' : ' ';
            char line[64];
            std::snprintf(line, sizeof line, "%07d  %7d %c\r\n", 3000000 + i, 100 * i, mark);
            original += line;
        }
        original += "\r\n";
        std::ofstream(root / "Ring.TXT", std::ios::binary) << original;

        // (log, line) of the last line of each log at each kill so far in this campaign; with
        // retry, only at the last kill: a restart marks what an earlier kill left unmarked.
        std::set<std::pair<int, size_t>> tails_at_kills;
        for (int round = 0; round < 3; ++round, ++kills) {
            // Killed 0-20 ms after one of the first three quarters of the results to come,
            // so that most kills land with records still to call.
            long results = results_logged(root);
            std::uniform_int_distribution<long> nth(1, std::max(1L, (FRESH - results) * 3 / 4));
            std::uniform_int_distribution<int> delay_us(0, 20000);
            run_campaign(
                root, rack,
                std::pair{results + nth(random), std::chrono::microseconds(delay_us(random))},
                retry, round);
            std::string list = read_file(root / "Ring.TXT");
            ASSERT_EQ(list.size(), original.size());
            std::map<std::string, char> marks;
            for (size_t i = 0; i < list.size(); ++i) {
                if (i % 20 == 17 && i < RECORDS * 20u) {
                    marks[list.substr(i - 17, 7)] = list[i];
                    continue;
                }
                ASSERT_EQ(list[i], original[i]) << "byte " << i << " changed";
            }
            LogLines y = log_lines(root / "RINGY.txt");
            LogLines n = log_lines(root / "RINGN.txt");
            EXPECT_FALSE(y.torn && n.torn);
            const LogLines* logs[] = {&y, &n};
            if (retry) {
                tails_at_kills.clear();
                expect_no_call_after_y(y, n, kills);
            }
            for (int l = 0; l < 2; ++l) {
                if (!logs[l]->lines.empty()) {
                    tails_at_kills.insert({l, logs[l]->lines.size() - 1});
                }
            }
            std::map<std::string, int> logged;
            int orphans = 0;
            for (int l = 0; l < 2; ++l) {
                for (size_t i = 0; i < logs[l]->lines.size(); ++i) {
                    const std::string& line = logs[l]->lines[i];
                    ASSERT_EQ(line.substr(68), "\r\n");
                    std::string number = line.substr(0, 7);
                    ++logged[number];
                    if (marks[number] == ' ') {
                        // A line ahead of its mark can only be the last one written before a
                        // kill: the kill came between the line and the mark.
                        EXPECT_TRUE(tails_at_kills.count({l, i}) == 1) << number;
                        ++orphans;
                    }
                }
            }
            EXPECT_LE(orphans, retry ? 1 : round + 1) << "at most one per kill, kill " << kills;
            if (retry) {
                std::map<std::string, int> counted = attempts_counted(root);
                for (const auto& [number, lines] : logged) {
                    EXPECT_GE(counted[number], lines) << number << " called uncounted";
                    EXPECT_LE(counted[number], 2) << number;
                }
            }
            int fresh = 0, marked = 0;
            for (int i = 0; i < RECORDS; ++i) {
                if (original[i * 20 + 17] == ' ') {
                    ++fresh;
                    marked += list[i * 20 + 17] != ' ';
                }
            }
            mid_campaign += marked > 0 && marked < fresh;
            for (int i = 0; i < RECORDS; ++i) {
                char was = original[i * 20 + 17];
                char now = list[i * 20 + 17];
                if (was == ' ' && now != ' ') {
                    EXPECT_GE(logged[list.substr(i * 20, 7)], 1)
                        << "a record marked without its log line, kill " << kills;
                }
            }
        }
        // A restart that is left alone finishes the campaign.
        run_campaign(root, rack, std::nullopt, retry, 3);
        std::string list = read_file(root / "Ring.TXT");
        std::map<std::string, int> counted = attempts_counted(root);
        LogLines y = log_lines(root / "RINGY.txt");
        LogLines n = log_lines(root / "RINGN.txt");
        std::set<std::string> logged;
        for (const LogLines* log : {&y, &n}) {
            for (const std::string& line : log->lines) {
                logged.insert(line.substr(0, 7));
            }
        }
        if (retry) {
            expect_no_call_after_y(y, n, kills);
        }
        for (int i = 0; i < RECORDS; ++i) {
            // With retry, a record whose verdict a kill lost after its last attempt stays
            // unmarked: it may not be called a third time. One whose verdict was logged is
            // marked by the restart.
            std::string number = list.substr(i * 20, 7);
            bool used_up = retry && counted[number] == 2 && logged.count(number) == 0;
            EXPECT_TRUE(list[i * 20 + 17] != ' ' || used_up) << "record " << i << " never called";
        }
        fs::remove_all(root);
    }
    fs::remove_all(dir);
    EXPECT_GE(mid_campaign, 80) << "too few kills landed in the middle of a campaign";
    std::printf("%d kills, %d in the middle of a campaign\n", kills, mid_campaign);
}

// Every file a program or tool reads, swapped for something that is not a list, a log or a
// settings file: each is refused with its reason or said and passed over, as documented; none
// crashes, hangs or changes another file.

namespace {

enum class Hostile { fifo, folder, device, loop, unreadable, empty, sparse, noise };

const std::vector<std::pair<Hostile, const char*>> HOSTILE = {
    {Hostile::fifo, "a FIFO"},
    {Hostile::folder, "a folder"},
    {Hostile::device, "/dev/zero"},
    {Hostile::loop, "a symbolic link to itself"},
    {Hostile::unreadable, "a file its user may not read"},
    {Hostile::empty, "an empty file"},
    {Hostile::sparse, "a sparse file of 2 GB"},
    {Hostile::noise, "random bytes"},
};

void plant(Hostile kind, const fs::path& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    switch (kind) {
        case Hostile::fifo:
            ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
            break;
        case Hostile::folder:
            fs::create_directory(path);
            break;
        case Hostile::device:
            fs::create_symlink("/dev/zero", path);
            break;
        case Hostile::loop:
            fs::create_symlink(path.filename(), path);
            break;
        case Hostile::unreadable:
            std::ofstream(path, std::ios::binary) << "4000000     1000  \r\n\r\n";
            fs::permissions(path, fs::perms::none);
            break;
        case Hostile::empty:
            std::ofstream(path, std::ios::binary).flush();
            break;
        case Hostile::sparse:
            std::ofstream(path, std::ios::binary).flush();
            fs::resize_file(path, std::uintmax_t{2} << 30);
            break;
        case Hostile::noise: {
            std::mt19937 random(20261210);
            std::string bytes(4096, '\0');
            for (char& c : bytes) {
                c = static_cast<char>(random() & 0xFF);
            }
            std::ofstream(path, std::ios::binary) << bytes;
            break;
        }
    }
}

struct Ended {
    int status = -1;  // the exit status; -1 when a signal ended it (a crash, or the guard)
    int signal = 0;
    std::string out;  // standard output and error together
};

// Runs a command with input on its standard input, as nobody where asked (the tests run as
// root, whom no mode keeps out). A command still running after 120 s is killed: it hung.
Ended run_guarded(const std::vector<std::string>& args, const std::string& input, bool as_nobody,
                  const std::string& config_home) {
    int in[2], out[2];
    Ended ended;
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
        return ended;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(in[1]);
        ::close(out[0]);
        ::setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
        ::setenv("TZ", "UTC", 1);
        if (as_nobody) {
            const passwd* nobody = ::getpwnam("nobody");
            const group* nogroup = ::getgrnam("nogroup");
            if (nobody == nullptr || nogroup == nullptr || ::setgroups(0, nullptr) != 0 ||
                ::setgid(nogroup->gr_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
                ::_exit(125);
            }
        }
        ::alarm(120);  // kept across exec: SIGALRM ends a command that hangs
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(in[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        ended.out.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ended.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return ended;
}

// The regular files of a folder (not below it) but one, with their bytes.
std::map<std::string, std::string> files_but(const fs::path& dir, const std::string& skip) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        std::error_code ec;
        if (name != skip && fs::symlink_status(entry.path(), ec).type() == fs::file_type::regular) {
            files[name] = read_file(entry.path());
        }
    }
    return files;
}

// What a command does with one hostile kind of its input: its exit status, a text its output
// must hold (none: ""), and whether it goes on (and may write what it writes) or stops there.
struct Reaction {
    int status;
    std::string says;
    bool goes_on = false;
};

// One input of one command: the files beside it, the command over a folder, and its reaction
// to each hostile kind, said with the reason (the refused kinds) or passed over.
struct Input {
    std::string name;  // what the row is, for the failure's text
    std::string file;  // the input, in the folder
    std::map<std::string, std::string> beside;
    std::function<std::vector<std::string>(const fs::path&)> command;
    std::set<std::string> may_change;  // what the command writes when it goes on
    std::map<Hostile, Reaction> reaction;
};

const std::string LIST = "4000000     1000  \r\n\r\n";
const std::string RACK = "K1 ring line results=1\n";

// The reasons of the refused kinds after a prefix: the same text for each input. Where the
// command goes on, the file is said and passed over.
std::map<Hostile, Reaction> refused(int status, const std::string& prefix, bool goes_on = false) {
    return {
        {Hostile::fifo, {status, prefix + "не обычный файл", goes_on}},
        {Hostile::folder, {status, prefix + "это папка, а не файл", goes_on}},
        {Hostile::device, {status, prefix + "не обычный файл", goes_on}},
        {Hostile::loop, {status, prefix + "ссылки ведут по кругу", goes_on}},
        {Hostile::unreadable, {status, prefix + "нет доступа", goes_on}},
        {Hostile::sparse, {status, prefix + "файл слишком велик", goes_on}},
    };
}

std::map<Hostile, Reaction> with(std::map<Hostile, Reaction> reactions,
                                 const std::map<Hostile, Reaction>& more) {
    for (const auto& [kind, reaction] : more) {
        reactions[kind] = reaction;
    }
    return reactions;
}

// Whether out holds the parts of says between its '*', in that order.
bool said(const std::string& out, const std::string& says) {
    size_t at = 0;
    for (size_t from = 0;;) {
        size_t star = std::min(says.find('*', from), says.size());
        std::string part = says.substr(from, star - from);
        at = out.find(part, at);
        if (at == std::string::npos || star == says.size()) {
            return at != std::string::npos;
        }
        at += part.size();
        from = star + 1;
    }
}

// Whether a file's name starts with one of those a command may write (a backup's name ends
// with its time).
bool may_change(const std::set<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return name.rfind(n, 0) == 0; });
}

std::vector<std::string> dialrun_in(const fs::path& dir, const std::vector<std::string>& more) {
    std::vector<std::string> args{DIALRUN_PATH,
                                  "--no-settings",
                                  "--console",
                                  "--fast",
                                  "--time",
                                  "2026-12-08T09:00:00",
                                  "--autostart",
                                  "--root",
                                  dir.string(),
                                  "--simulate",
                                  (dir / "rack.txt").string()};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::vector<Input> inputs() {
    return {
        {"Dialrun's list",
         "Ring.TXT",
         {{"rack.txt", RACK}},
         [](const fs::path& dir) { return dialrun_in(dir, {}); },
         {},
         with(refused(1, "log\tОшибка открытия C:\\Ring.TXT: "),
              {{Hostile::empty, {0, "status\t Завершение прозвонки абонентов ! ", true}},
               {Hostile::noise, {1, "log\tОшибка в RING.TXT, строка 1: "}}})},
        {"Dialrun's log of notified subscribers",
         "RINGY.txt",
         {{"rack.txt", RACK}, {"Ring.TXT", LIST}},
         [](const fs::path& dir) { return dialrun_in(dir, {}); },
         {"Ring.TXT"},
         with(refused(0, "log\tОшибка записи в C:\\RINGY.txt: ", true),
              {{Hostile::sparse, {0, "", true}},
               {Hostile::empty, {0, "", true}},
               {Hostile::noise, {0, "", true}}})},
        {"Dialrun's attempts",
         "Ring.TXT.attempts",
         {{"rack.txt", RACK}, {"Ring.TXT", LIST}},
         [](const fs::path& dir) {
             return dialrun_in(dir, {"--retry", "2"});
         },
         {"Ring.TXT", "RINGY.txt"},
         with(refused(1, "log\tОшибка чтения C:\\Ring.TXT.attempts: "),
              {{Hostile::empty, {0, "", true}},
               {Hostile::noise,
                {1, "log\tОшибка чтения C:\\Ring.TXT.attempts: строка 1: не запись попыток"}}})},
        {"Dialrun's journal of the day",
         "dialrun-2026-12-08.log",
         {{"rack.txt", RACK}, {"Ring.TXT", LIST}},
         [](const fs::path& dir) {
             return dialrun_in(dir, {"--journal", dir.string()});
         },
         {"Ring.TXT", "RINGY.txt"},
         with(refused(0, "log\tЖурнал не записывается: *dialrun-2026-12-08.log: ", true),
              {{Hostile::sparse, {0, "", true}},
               {Hostile::empty, {0, "", true}},
               {Hostile::noise, {0, "", true}}})},
        {"Dialrun's holidays",
         "holidays.txt",
         {{"rack.txt", RACK}, {"Ring.TXT", LIST}},
         [](const fs::path& dir) {
             return dialrun_in(
                 dir, {"--call-start", "8", "--holidays", (dir / "holidays.txt").string()});
         },
         {"Ring.TXT", "RINGY.txt"},
         with(refused(2, "holidays.txt не прочитан: "),
              {{Hostile::empty, {0, "", true}}, {Hostile::noise, {2, "holidays.txt"}}})},
        {"Dialrun's settings file",
         "boardrack.conf",
         {{"rack.txt", RACK}, {"Ring.TXT", LIST}},
         [](const fs::path& dir) {
             std::vector<std::string> args = dialrun_in(dir, {});
             args.erase(args.begin() + 1);  // the settings files are read
             args.push_back("--config");
             args.push_back((dir / "boardrack.conf").string());
             return args;
         },
         {"Ring.TXT", "RINGY.txt"},
         with(refused(2, "boardrack.conf: файл настроек не открыт: "),
              {{Hostile::empty, {0, "", true}}, {Hostile::noise, {2, "boardrack.conf, строка"}}})},
        {"the simulated rack",
         "rack.txt",
         {{"Ring.TXT", LIST}},
         [](const fs::path& dir) { return dialrun_in(dir, {}); },
         {},
         with(refused(2, "rack.txt: файл не открыт: "),
              {{Hostile::empty, {1, "log\tНет канала прозвонки !"}},
               {Hostile::noise, {2, "rack.txt"}}})},
        {"ringlist check's list",
         "Ring.TXT",
         {},
         [](const fs::path& dir) {
             return std::vector<std::string>{RINGLIST_PATH, "check", (dir / "Ring.TXT").string()};
         },
         {},
         with(refused(1, "Нет файла *Ring.TXT: "),
              {{Hostile::empty, {0, "", true}}, {Hostile::noise, {1, ""}}})},
        {"ringlist report's log",
         "RINGN.txt",
         {{"Ring.TXT", LIST}},
         [](const fs::path& dir) {
             return std::vector<std::string>{RINGLIST_PATH, "report", dir.string()};
         },
         {},
         with(refused(1, "RINGN.txt не читается: "),
              {{Hostile::empty, {0, "", true}}, {Hostile::noise, {0, "", true}}})},
        {"ringlist retry's attempts",
         "Ring.TXT.attempts",
         {{"Ring.TXT", "4000000     1000 N\r\n\r\n"}},
         [](const fs::path& dir) {
             return std::vector<std::string>{RINGLIST_PATH, "retry", dir.string(), "--max-attempts",
                                             "3"};
         },
         {"Ring.TXT"},
         with(refused(1, "не читается: "),
              {{Hostile::empty, {0, "", true}},
               {Hostile::noise, {1, "не читается: строка 1: не запись попыток"}}})},
        {"ringlist report's attempts",
         "Ring.TXT.attempts",
         {{"Ring.TXT", "4000000     1000 N\r\n\r\n"}},
         [](const fs::path& dir) {
             return std::vector<std::string>{RINGLIST_PATH, "report", dir.string()};
         },
         {},
         with(refused(1, "Файл попыток *Ring.TXT.attempts не читается: "),
              {{Hostile::empty, {0, "", true}},
               {Hostile::noise,
                {1, "Файл попыток *Ring.TXT.attempts не читается: строка 1: не запись попыток"}}})},
        {"ringlist split's deal",
         "Ring.TXT.split",
         {{"Ring.TXT", LIST}},
         [](const fs::path& dir) {
             return std::vector<std::string>{RINGLIST_PATH, "split", (dir / "Ring.TXT").string(),
                                             "2", (dir / "parts").string()};
         },
         {},
         with(refused(1, "Файл раздачи *Ring.TXT.split не читается: "),
              {{Hostile::empty, {1, "Файл раздачи *Ring.TXT.split не читается: "}},
               {Hostile::noise, {1, "Файл раздачи *Ring.TXT.split не читается: "}}})},
        {"ringlist exclude's list",
         "Ring.TXT",
         {{"stop.txt", "4000000\n"}},
         [](const fs::path& dir) {
             return std::vector<std::string>{RINGLIST_PATH, "exclude", (dir / "Ring.TXT").string(),
                                             (dir / "stop.txt").string()};
         },
         {},
         with(refused(1, "Нет файла *Ring.TXT: "),
              {{Hostile::empty, {0, "", true}}, {Hostile::noise, {1, ""}}})},
    };
}

}  // namespace

TEST(HostileFiles, EveryInputIsRefusedOrPassedOverAndNothingElseChanges) {
    fs::path base = fs::path(::testing::TempDir()) / ("hostile_" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::path config_home = base / "config";
    fs::create_directories(config_home);
    for (const Input& input : inputs()) {
        for (const auto& [kind, what] : HOSTILE) {
            std::string at = input.name + " as " + what;
            fs::path dir = base / "c";
            fs::remove_all(dir);
            fs::create_directories(dir);
            for (const auto& [name, bytes] : input.beside) {
                std::ofstream(dir / name, std::ios::binary) << bytes;
            }
            plant(kind, dir / input.file);
            bool as_nobody = kind == Hostile::unreadable;
            if (as_nobody) {
                // Everything but the input is the command's to read and write.
                fs::permissions(base, fs::perms::all);
                fs::permissions(dir, fs::perms::all);
                for (const auto& [name, bytes] : input.beside) {
                    fs::permissions(dir / name, fs::perms::owner_read | fs::perms::owner_write |
                                                    fs::perms::group_read | fs::perms::group_write |
                                                    fs::perms::others_read |
                                                    fs::perms::others_write);
                }
            }
            std::map<std::string, std::string> before = files_but(dir, input.file);
            Ended ended = run_guarded(input.command(dir), "", as_nobody, config_home.string());
            ASSERT_NE(ended.status, 125) << at << ": no user nobody";
            EXPECT_EQ(ended.signal, 0) << at << ": crashed or hung\n" << ended.out;
            auto expected = input.reaction.find(kind);
            ASSERT_NE(expected, input.reaction.end()) << at;
            EXPECT_EQ(ended.status, expected->second.status) << at << "\n" << ended.out;
            EXPECT_TRUE(said(ended.out, expected->second.says))
                << at << ": \"" << expected->second.says << "\" not said\n"
                << ended.out;
            std::map<std::string, std::string> after = files_but(dir, input.file);
            bool may_write = expected->second.goes_on;
            for (const auto& [name, bytes] : before) {
                if (!may_write || !may_change(input.may_change, name)) {
                    EXPECT_EQ(after[name], bytes) << at << ": " << name << " changed";
                }
            }
            for (const auto& [name, bytes] : after) {
                EXPECT_TRUE(before.count(name) == 1 ||
                            (may_write && may_change(input.may_change, name)))
                    << at << ": " << name << " made";
            }
        }
    }
    fs::remove_all(base);
}

// A WAV played or checked before an upload, swapped likewise: refused with its reason, at once.
TEST(HostileFiles, AWavThatIsNotOneIsRefusedWithItsReason) {
    fs::path dir = fs::path(::testing::TempDir()) / ("hostile_wav_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::map<Hostile, std::string> reasons = {
        {Hostile::fifo, "не обычный файл"},   {Hostile::folder, "это папка, а не файл"},
        {Hostile::device, "не обычный файл"}, {Hostile::loop, "ссылки ведут по кругу"},
        {Hostile::empty, "не WAV-файл"},      {Hostile::sparse, "не WAV-файл"},
        {Hostile::noise, "не WAV-файл"},
    };
    for (const auto& [kind, reason] : reasons) {
        plant(kind, dir / "0.wav");
        core::WavInfo info;
        EXPECT_EQ(core::read_wav_info(dir / "0.wav", info), reason) << static_cast<int>(kind);
    }
    // A header whose chunk sizes point past the end of the file: read to its end, not on.
    const std::string chunks("RIFF\x24\0\0\0WAVEjunk\xF0\xFF\xFF\x7F\0\0\0\0", 24);
    std::ofstream(dir / "0.wav", std::ios::binary | std::ios::trunc) << chunks;
    core::WavInfo info;
    EXPECT_EQ(core::read_wav_info(dir / "0.wav", info), "испорченный заголовок WAV");
    fs::remove_all(dir);
}
