// Dialrun killed with SIGKILL at random moments of a campaign: nothing reported as saved may
// be lost, no byte of the list but a mark may change, and a restarted program finishes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

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
