// Speed of ringlist serve on big lists, against the real program over loopback:
//  - /api/summary of a 100,000-record folder beside a 10-record one, side by side (goal: at
//    least half the requests per second);
//  - a 1,000,000-record folder being called, with ten pages polling every two seconds: how long
//    from a mark written to a page showing it (goal: within 2 s), and the server's peak memory
//    (goal: under 100 MB).
//
//   serve_bench [--seconds N]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

std::string record(long number, long amount, char mark) {
    char text[32];
    std::snprintf(text, sizeof text, "%07ld  %7ld %c\r\n", number, amount, mark);
    return text;
}

// A list of n records, a third of them notified with their log lines.
void make_folder(const fs::path& dir, long n) {
    fs::create_directories(dir);
    std::string list;
    std::string log;
    list.reserve(static_cast<size_t>(n) * 20 + 2);
    for (long i = 0; i < n; ++i) {
        bool notified = i % 3 == 0;
        list += record(2000000 + i, 100 + i % 9000, notified ? 'Y' : ' ');
        if (notified) {
            char line[128];
            std::snprintf(line, sizeof line, "%07ld   08-12 %02ld:%02ld:%02ld%44s\r\n", 2000000 + i,
                          9 + i % 8, i % 60, (i / 60) % 60, "");
            log += line;
        }
    }
    list += "\r\n";
    std::ofstream(dir / "Ring.TXT", std::ios::binary) << list;
    std::ofstream(dir / "RINGY.txt", std::ios::binary) << log;
}

struct Child {
    pid_t pid = 0;
    unsigned short port = 0;
};

Child start_server(const std::vector<fs::path>& folders, unsigned short port) {
    std::fflush(stdout);  // or the child prints it again
    Child c{::fork(), port};
    if (c.pid == 0) {
        std::vector<std::string> args{RINGLIST_PATH, "serve"};
        for (const fs::path& f : folders) {
            args.push_back(f.string());
        }
        args.push_back("--listen");
        args.push_back("127.0.0.1:" + std::to_string(port));
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::freopen("/dev/null", "w", stdout);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    return c;
}

void stop_server(const Child& c) {
    ::kill(c.pid, SIGTERM);
    ::waitpid(c.pid, nullptr, 0);
}

long peak_kb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// A keep-alive connection asking for /api/summary.
class Client {
  public:
    explicit Client(unsigned short port) : port_(port) {}
    ~Client() { disconnect(); }

    // The body, or "" when the server did not answer.
    std::string summary() {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (socket_ < 0 && !connect()) {
                return {};
            }
            std::string body;
            if (ask(body)) {
                return body;
            }
            disconnect();
        }
        return {};
    }

  private:
    bool connect() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(socket_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            disconnect();
            return false;
        }
        return true;
    }
    void disconnect() {
        if (socket_ >= 0) {
            ::close(socket_);
        }
        socket_ = -1;
        buffer_.clear();
    }
    bool ask(std::string& body) {
        const char request[] = "GET /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(socket_, request, sizeof request - 1, MSG_NOSIGNAL) < 0) {
            return false;
        }
        size_t head_end = std::string::npos;
        while ((head_end = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (!more()) {
                return false;
            }
        }
        size_t at = buffer_.find("Content-Length: ");
        size_t length = at < head_end ? std::strtoul(buffer_.c_str() + at + 16, nullptr, 10) : 0;
        while (buffer_.size() < head_end + 4 + length) {
            if (!more()) {
                return false;
            }
        }
        body = buffer_.substr(head_end + 4, length);
        buffer_.erase(0, head_end + 4 + length);
        return buffer_.empty() || true;
    }
    bool more() {
        char chunk[65536];
        ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
        return true;
    }

    unsigned short port_;
    int socket_ = -1;
    std::string buffer_;
};

bool wait_listening(unsigned short port) {
    for (int i = 0; i < 600; ++i) {
        Client c(port);
        if (!c.summary().empty()) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// Requests answered per second by clients asking as fast as they can.
double rate(unsigned short port, int clients, std::chrono::seconds length) {
    std::atomic<long> answered{0};
    auto until = Steady::now() + length;
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&] {
            Client c(port);
            while (Steady::now() < until) {
                answered += !c.summary().empty();
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    return static_cast<double>(answered) / static_cast<double>(length.count());
}

long notified_in(const std::string& body) {
    size_t at = body.find("\"notified\":");
    return at == std::string::npos ? -1 : std::atol(body.c_str() + at + 11);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds") {
            seconds = std::atoi(argv[i + 1]);
        }
    }
    fs::path work = fs::temp_directory_path() / ("serve_bench_" + std::to_string(::getpid()));
    make_folder(work / "small", 10);
    make_folder(work / "big", 100000);
    make_folder(work / "huge", 1000000);
    unsigned short base = static_cast<unsigned short>(20000 + ::getpid() % 20000);

    Child small = start_server({work / "small"}, base);
    Child big = start_server({work / "big"}, static_cast<unsigned short>(base + 1));
    if (!wait_listening(small.port) || !wait_listening(big.port)) {
        std::fprintf(stderr, "serve_bench: the servers did not start\n");
        return 1;
    }
    double small_rate = 0;
    double big_rate = 0;
    for (int round = 0; round < 3; ++round) {  // side by side, in turns
        small_rate += rate(small.port, 8, 2s);
        big_rate += rate(big.port, 8, 2s);
    }
    std::printf("requests/s: 10 records %.0f, 100,000 records %.0f, ratio %.2f (goal >= 0.50)\n",
                small_rate / 3, big_rate / 3, big_rate / small_rate);
    std::printf("peak memory: 10 records %ld KB, 100,000 records %ld KB\n", peak_kb(small.pid),
                peak_kb(big.pid));
    stop_server(small);
    stop_server(big);

    // A campaign on the huge list: a mark and its log line every 250 ms, ten pages polling.
    Child huge = start_server({work / "huge"}, static_cast<unsigned short>(base + 2));
    if (!wait_listening(huge.port)) {
        std::fprintf(stderr, "serve_bench: the server did not start\n");
        return 1;
    }
    std::mutex mutex;
    std::vector<std::pair<long, Steady::time_point>> written;  // notified count, when
    std::atomic<bool> done{false};
    std::atomic<long> slowest_ms{0};
    std::atomic<long> shown{0};
    std::atomic<long> slowest_request_ms{0};
    std::vector<std::thread> pages;
    for (int p = 0; p < 10; ++p) {
        pages.emplace_back([&, p] {
            Client c(huge.port);
            std::this_thread::sleep_for(std::chrono::milliseconds(200 * p));
            while (!done) {
                auto asked = Steady::now();
                long notified = notified_in(c.summary());
                auto now = Steady::now();
                long took =
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - asked).count();
                slowest_request_ms = std::max(slowest_request_ms.load(), took);
                {
                    std::lock_guard lock(mutex);
                    for (auto& [count, when] : written) {
                        if (count <= notified && when != Steady::time_point{}) {
                            long ms =
                                std::chrono::duration_cast<std::chrono::milliseconds>(now - when)
                                    .count();
                            slowest_ms = std::max(slowest_ms.load(), ms);
                            when = {};
                            ++shown;
                        }
                    }
                }
                std::this_thread::sleep_for(2s);
            }
        });
    }
    long notified = (1000000 + 2) / 3;
    long marks = 0;
    auto until = Steady::now() + std::chrono::seconds(seconds);
    for (long i = 1; Steady::now() < until; i += 3, ++marks) {
        {
            std::fstream list(work / "huge" / "Ring.TXT",
                              std::ios::in | std::ios::out | std::ios::binary);
            list.seekp(i * 20 + 17);
            list.put('Y');
        }
        {
            std::ofstream log(work / "huge" / "RINGY.txt", std::ios::app | std::ios::binary);
            char line[128];
            std::snprintf(line, sizeof line, "%07ld   08-12 17:00:00%44s\r\n", 2000000 + i, "");
            log << line;
        }
        std::lock_guard lock(mutex);
        written.push_back({++notified, Steady::now()});
        std::this_thread::sleep_for(250ms);
    }
    std::this_thread::sleep_for(5s);
    done = true;
    for (std::thread& t : pages) {
        t.join();
    }
    std::printf(
        "1,000,000 records, 10 pages: %ld marks written, %ld shown; slowest poll %ld ms "
        "(goal <= 2000 ms); slowest from a write to a page showing it %ld ms (a poll "
        "every 2 s: goal <= 4000 ms)\n",
        marks, shown.load(), slowest_request_ms.load(), slowest_ms.load());
    std::printf("peak memory with 1,000,000 records: %ld KB (goal < 102400 KB)\n",
                peak_kb(huge.pid));
    stop_server(huge);
    fs::remove_all(work);
    return 0;
}
