// ringlist serve: what the page is told, and what it refuses, before any network.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <netinet/in.h>

#include <fcntl.h>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "dialrun/dialrun_controller.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/serve/server.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string TOKEN = "s3cret-token-0123456789";

ringlist::Reply ask(ringlist::Site& site, const std::string& method, const std::string& target,
                    const std::string& authorization = "", const std::string& cookie = "",
                    const std::string& host = "127.0.0.1:8080") {
    return site.answer({method, target, authorization, cookie, host},
                       ringlist::Summary::Clock::now());
}

int connected(unsigned short port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    return s;
}

// One raw request on a socket, the whole answer back (what came within patience).
// With half_close, the client says it has sent all it will.
std::string raw_request(unsigned short port, const std::string& request,
                        std::chrono::seconds patience = 120s, bool half_close = false) {
    int s = connected(port);
    timeval limit{static_cast<time_t>(patience.count()), 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    EXPECT_EQ(::send(s, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    if (half_close) {
        EXPECT_EQ(::shutdown(s, SHUT_WR), 0);
    }
    std::string answer;
    char chunk[4096];
    for (ssize_t n; (n = ::recv(s, chunk, sizeof chunk, 0)) > 0;) {
        answer.append(chunk, static_cast<size_t>(n));
    }
    ::close(s);
    return answer;
}

// Sets a file's time an hour back (minus offset seconds), so that it counts as settled.
void settle(const fs::path& file, int offset = 0) {
    fs::last_write_time(file, fs::file_time_type::clock::now() - 1h - std::chrono::seconds(offset));
}

}  // namespace

// With a token nothing is answered without it; then only GET and HEAD, only the page, its
// script and the JSON: no path is ever a file.
TEST(Serve, TheTokenComesFirstThenOnlyItsOwnPagesAreRead) {
    TempRoot root;
    ringlist::Summary summary({root.path});
    ringlist::Site site(summary, TOKEN);
    const std::string bearer = "Bearer " + TOKEN;
    const struct {
        const char* method;
        std::string target;
        std::string authorization;
        std::string cookie;
        int status;
    } cases[] = {
        {"GET", "/", "", "", 401},
        {"POST", "/api/summary", "", "", 401},
        {"GET", "/api/summary", "Bearer wrong-token-0123456789", "", 401},
        {"GET", "/?token=wrong", "", "", 401},
        {"GET", "/api/summary?token=" + TOKEN, "", "", 401},
        {"GET", "/api/summary", bearer, "", 200},
        {"GET", "/api/summary", "bearer " + TOKEN, "", 200},
        {"GET", "/api/summary", "BEARER  " + TOKEN, "", 200},
        {"GET", "/api/summary", "Basic " + TOKEN, "", 401},
        {"GET", "/api/summary", "Bearer" + TOKEN, "", 401},
        {"GET", "/metrics", "", "", 401},
        {"GET", "/metrics", bearer, "", 200},
        {"HEAD", "/", bearer, "", 200},
        {"GET", "/app.js", "", "ringlist_token=" + TOKEN, 200},
        {"GET", "/", "", "other=1; ringlist_token=" + TOKEN, 200},
        {"POST", "/api/summary", bearer, "", 405},
        {"DELETE", "/", bearer, "", 405},
        {"GET", "/../../etc/passwd", bearer, "", 404},
        {"GET", "/%2e%2e/%2e%2e/etc/passwd", bearer, "", 404},
        {"GET", "/..%2f..%2fetc%2fpasswd", bearer, "", 404},
        {"GET", "/api/summary/../../../etc/passwd", bearer, "", 404},
        {"GET", "/Ring.TXT", bearer, "", 404},
    };
    for (const auto& c : cases) {
        ringlist::Reply r = ask(site, c.method, c.target, c.authorization, c.cookie);
        EXPECT_EQ(r.status, c.status) << c.method << " " << c.target;
        EXPECT_EQ(r.body.find("root:"), std::string::npos) << c.target;
    }
    // The link with the token leaves it in a cookie the page's script cannot read.
    ringlist::Reply opened = ask(site, "GET", "/?token=" + TOKEN);
    EXPECT_EQ(opened.status, 303);
    const std::vector<std::pair<std::string, std::string>> headers{
        {"Location", "/"},
        {"Set-Cookie", "ringlist_token=" + TOKEN + "; HttpOnly; SameSite=Strict; Path=/"}};
    EXPECT_EQ(opened.headers, headers);

    // Two servers on one PC: the cookie is named after the port, and the other's is not taken.
    site.cookie_for_port(8081);
    EXPECT_EQ(ask(site, "GET", "/", "", "ringlist_token=" + TOKEN).status, 401);
    EXPECT_EQ(ask(site, "GET", "/", "", "ringlist_token_8081=" + TOKEN).status, 200);
    EXPECT_EQ(ask(site, "GET", "/?token=" + TOKEN).headers[1].second,
              "ringlist_token_8081=" + TOKEN + "; HttpOnly; SameSite=Strict; Path=/");

    // Without a token, only a request for this PC by name: a rebinding name that points at
    // 127.0.0.1 is not this PC's.
    ringlist::Site open(summary, "");
    const struct {
        const char* host;
        int status;
    } hosts[] = {
        {"127.0.0.1:8080", 200},
        {"127.0.0.1", 200},
        {"127.5.6.7:1", 200},
        {"localhost", 200},
        {"LocalHost:8080", 200},
        {"[::1]:8080", 200},
        {"[::1]", 200},
        {"evil.example:8080", 421},
        {"evil.example", 421},
        {"", 421},
        {"127.0.0.1.evil.example", 421},
        {"localhost.evil.example:8080", 421},
        {"10.0.0.5:8080", 421},
        {"[::1]x", 421},
        {"[::ffff:127.0.0.1]:8080", 421},
        {"127.0.0.1:80a", 421},
    };
    for (const auto& h : hosts) {
        EXPECT_EQ(ask(open, "GET", "/api/summary", "", "", h.host).status, h.status) << h.host;
    }
}

// The counts agree with the list while a campaign writes it, and at its end, 100 % done with
// records excluded or marked by hand; a status file that stops changing is stale after two
// minutes of the server's clock.
TEST(Serve, TheSummaryCountsTheListAsACampaignGoes) {
    TempRoot root;
    fs::path folder = root.path / "<script>alert(1)</script>";
    fs::create_directories(folder);
    std::string list;
    for (int i = 0; i < 30; ++i) {
        list += record(std::to_string(3000000 + i), "    " + std::to_string(100 + i),
                       i % 10 == 3 ? 'X' : (i % 10 == 7 ? 'R' : ' '));
    }
    write_file_bytes(folder / "Ring.TXT", list + "\r\n");
    ringlist::Summary summary({folder});
    ProgramOnRack<dialrun::DialrunController> p(
        "K1 ring line busy=5 results=1,2\nK2 ring line busy=7 results=0,1\n",
        Setting{"", folder.string(), at("2026-12-08T10:00:00")});
    p.start_and_survey();
    EXPECT_EQ(p.press(station::Button::start), std::nullopt);
    auto counts_agree = [&](bool final) {
        nlohmann::json f =
            nlohmann::json::parse(summary.text(ringlist::Summary::Clock::now()))["folders"][0];
        EXPECT_EQ(f["name"], folder.string());
        EXPECT_EQ(f["records"], 30);
        EXPECT_EQ(f["excluded"], 3);
        EXPECT_EQ(f["marks"]["records"]["other"], 3);
        long long shown = f["notified"].get<long long>() + f["not_notified"].get<long long>() +
                          f["left"].get<long long>() + f["excluded"].get<long long>() +
                          f["marks"]["records"]["other"].get<long long>();
        EXPECT_EQ(shown, 30);
        if (final) {
            std::string marks = file_bytes(folder / "Ring.TXT");
            int y = 0, zn = 0;
            for (int i = 0; i < 30; ++i) {
                y += marks[i * 20 + 17] == 'Y';
                zn += marks[i * 20 + 17] == 'Z' || marks[i * 20 + 17] == 'N';
            }
            EXPECT_EQ(f["notified"], y);
            EXPECT_EQ(f["not_notified"], zn);
            EXPECT_EQ(y + zn, 24);
            EXPECT_EQ(f["left"], 0);
            EXPECT_EQ(f["percent"], 100);  // excluded ones and ones marked by hand are done
            EXPECT_EQ(f["problems"], 0);
            EXPECT_EQ(f["responding"], true);
            EXPECT_EQ(f["status"], nullptr);
        }
    };
    while (!p.controller->wait_idle(10ms)) {
        counts_agree(false);
    }
    counts_agree(true);
    // A line Dialrun is writing is not yet a line: not a fault, not a result.
    std::ofstream(folder / "RINGY.txt", std::ios::app | std::ios::binary) << "3000001   08-1";
    counts_agree(true);

    write_file_bytes(folder / "status-dialrun.json", "{\"state\": \"running\", \"reason\": \"\"}");
    auto start = ringlist::Summary::Clock::now();
    auto status = [&](auto when) {
        return nlohmann::json::parse(summary.text(when))["folders"][0]["status"]["dialrun"];
    };
    EXPECT_EQ(status(start)["stale"], false);
    EXPECT_EQ(status(start + 119s)["stale"], false);
    EXPECT_EQ(status(start + 121s)["stale"], true);
    write_file_bytes(folder / "status-dialrun.json", "{\"state\": \"ended\"}");
    EXPECT_EQ(status(start + 122s)["stale"], false);
    EXPECT_EQ(status(start + 122s)["state"], "ended");

    // Whatever a watched folder holds, the server reads it to a reason, never to a crash.
    const struct {
        std::string bytes;
        const char* unreadable;
    } files[] = {
        {std::string(100000, '[') + std::string(100000, ']'), "больше 64 КБ"},
        {std::string(20000, '[') + std::string(20000, ']'), "вложенность глубже 32"},
        {"{\"a\":" + std::string(40, '[') + std::string(40, ']') + "}", "вложенность глубже 32"},
        {"{\"pad\": \"" + std::string(70000, 'x') + "\"}", "больше 64 КБ"},
        {"[1, 2]", "не JSON"},
        {"{\"state\": \"runn", "не JSON"},
    };
    for (const auto& f : files) {
        fs::remove(folder / "status-dialrun.json");
        write_file_bytes(folder / "status-dialrun.json", f.bytes);
        EXPECT_EQ(status(start + 130s)["unreadable"], f.unreadable) << f.bytes.substr(0, 40);
    }
    fs::remove(folder / "status-dialrun.json");
    ASSERT_EQ(::mkfifo((folder / "status-dialrun.json").c_str(), 0600), 0);
    EXPECT_EQ(status(start + 131s)["unreadable"], "не обычный файл");
    // A link that loops is there and cannot be read as a file: not a missing file.
    fs::remove(folder / "status-dialrun.json");
    fs::create_symlink("status-dialrun.json", folder / "status-dialrun.json");
    EXPECT_EQ(status(start + 131s)["unreadable"], "ссылки ведут по кругу");
    // A bracket inside a string is text, not depth.
    fs::remove(folder / "status-dialrun.json");
    write_file_bytes(folder / "status-dialrun.json",
                     "{\"state\": \"running\", \"reason\": \"" + std::string(100, '[') + "\"}");
    EXPECT_EQ(status(start + 132s)["state"], "running");
}

// Off this PC only with a token, a key as README makes it; a request too big, malformed or
// with a body gets its answer.
TEST(Serve, RefusalsAtStartAndRequestsTooBig) {
    TempRoot root;
    std::ostringstream out;
    ringlist::ServeOptions open;
    open.folders = {root.path};
    open.listen = "0.0.0.0:18099";
    EXPECT_EQ(ringlist::serve(open, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("нужен ключ доступа (--token-file)"), std::string::npos) << out.str();

    ringlist::Summary summary({root.path});
    ringlist::Site site(summary, "");
    ringlist::Server server(site, {.connections = 4, .header_bytes = 1024, .seconds = 2});
    ASSERT_EQ(server.listen("127.0.0.1", 0), "");
    server.run(2);

    // A key that passes its checks meets the port taken by the server above: the refusal that
    // follows says so in Russian, and the server never starts.
    ASSERT_EQ(std::system(("head -c 24 /dev/urandom | base64 | tr -d '/+=' > " +
                           (root.path / "readme.key").string())
                              .c_str()),
              0);
    ::chmod((root.path / "readme.key").c_str(), 0600);
    const std::string taken = "порт " + std::to_string(server.port()) + " на 127.0.0.1 уже занят";
    const struct {
        const char* name;
        std::string bytes;  // "" for README's key above
        mode_t mode;
        const char* said;
        const char* not_said;
    } keys[] = {
        {"readme.key", "", 0600, taken.c_str(), "Внимание"},
        {"lf.key", "abcdefghijklmnop0123\n", 0600, taken.c_str(), "Внимание"},
        {"crlf.key", "abcdefghijklmnop0123\r\n", 0600, taken.c_str(), "Внимание"},
        {"shared.key", "abcdefghijklmnop0123", 0644, "могут читать другие", "xxx"},
        {"short.key", "0123456789\n", 0600, "короче 16 знаков", taken.c_str()},
        {"hash.key", "abcdefgh#ijklmnop0123\n", 0600, "а в нём \"#\" (знак 9)", taken.c_str()},
        {"percent.key", "abcdefgh%41ijklmnop0123", 0600, "а в нём \"%\" (знак 9)", taken.c_str()},
        {"blank.key", "abcdefgh ijklmnop0123", 0600, "а в нём пробел (знак 9)", taken.c_str()},
        {"two.key", "abcdefghijklmnop0123\n\n", 0600, taken.c_str(), "Внимание"},
        {"bom.key",
         "\xEF\xBB\xBF"
         "abcdefghijklmnop0123\r\n\r\n",
         0600, taken.c_str(), "Ключ"},
        {"lines.key", "abcdefghijklmnop0123\nabcdefghijklmnop4567\n", 0600, "больше одной строки",
         taken.c_str()},
        {"lead.key", "\nabcdefghijklmnop0123\n", 0600, "больше одной строки", taken.c_str()},
        {"cr.key", "abcdefghijklmnop0123\r", 0600, "а в нём байт 0x0D (знак 21)", taken.c_str()},
        {"bom2.key",
         "\xEF\xBB\xBF\xEF\xBB\xBF"
         "abcdefghijklmnop0123",
         0600, "а в нём байт 0xEF (знак 1)", taken.c_str()},
    };
    for (const auto& k : keys) {
        if (!k.bytes.empty()) {
            root.write(k.name, k.bytes);
            ::chmod((root.path / k.name).c_str(), k.mode);
        }
        ringlist::ServeOptions keyed = open;
        keyed.listen = "127.0.0.1:" + std::to_string(server.port());
        keyed.token_file = root.path / k.name;
        out.str("");
        EXPECT_EQ(ringlist::serve(keyed, out), ringlist::REFUSED) << k.name;
        EXPECT_NE(out.str().find(k.said), std::string::npos) << k.name << ": " << out.str();
        EXPECT_EQ(out.str().find(k.not_said), std::string::npos) << k.name << ": " << out.str();
    }
    ringlist::ServeOptions fifo = open;
    ASSERT_EQ(::mkfifo((root.path / "fifo.key").c_str(), 0600), 0);
    fifo.token_file = root.path / "fifo.key";
    out.str("");
    EXPECT_EQ(ringlist::serve(fifo, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("не обычный файл"), std::string::npos) << out.str();

    std::vector<int> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(connected(server.port()));
    }
    // Idle ones give way to a client that asks: answered at once.
    std::string answer = raw_request(
        server.port(), "GET /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    for (int s : idle) {
        ::close(s);
    }
    const struct {
        std::string request;
        const char* status;
        bool half_close = false;
    } requests[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(4000, 'a') +
             "\r\nConnection: close\r\n\r\n",
         "HTTP/1.1 431"},
        {"POST /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: "
         "11\r\n\r\nhello=world",
         "HTTP/1.1 405"},
        {"PUT / HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: "
         "chunked\r\n\r\n5\r\nhello\r\n0\r\n"
         "\r\n",
         "HTTP/1.1 405"},
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000\r\n\r\n" +
             std::string(100000, 'x'),
         "HTTP/1.1 413"},
        {"GET /api/summary HTTP/1.1\r\nHost: evil.example\r\nConnection: close\r\n\r\n",
         "HTTP/1.1 421"},
        {"GET / HTTP/9.9\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400"},
        {"GET /\r\n\r\n", "HTTP/1.1 400"},
        {"G\x01T / HTTP/1.1\r\n\r\n", "HTTP/1.1 400"},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: x\r\n\r\n", "HTTP/1.1 400"},
        {"GET / HTTP/1.1\r\nBad Header\r\n\r\n", "HTTP/1.1 400"},
        {"GET /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: evil.example\r\n\r\n",
         "HTTP/1.1 400"},
        {"GET /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400"},
        // Cut short: less than announced, then the client's side closed.
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\nabc", "HTTP/1.1 400",
         true},
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel",
         "HTTP/1.1 400", true},
    };
    for (const auto& r : requests) {
        std::string got = raw_request(server.port(), r.request, 120s, r.half_close);
        EXPECT_EQ(got.rfind(r.status, 0), 0u) << r.request.substr(0, 60) << "\n" << got;
    }
    server.stop();

    ringlist::Site keyed(summary, TOKEN);
    ringlist::Server guarded(keyed, {});
    ASSERT_EQ(guarded.listen("127.0.0.1", 0), "");
    guarded.run(2);
    std::string post =
        raw_request(guarded.port(),
                    "POST /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                    "Content-Length: 3\r\n\r\nabc");
    EXPECT_EQ(post.rfind("HTTP/1.1 401", 0), 0u) << post;
    guarded.stop();
}

// Two hundred connections that never finish a request, from the real client's own address and
// coming back when closed, do not keep it out: the oldest waiting one makes room.
TEST(Serve, SlowClientsGiveWayToARealOne) {
    TempRoot root;
    write_file_bytes(root.path / "Ring.TXT", record("3000000", "    100", ' ') + "\r\n");
    ringlist::Summary summary({root.path});
    ringlist::Site site(summary, "");
    ringlist::Server server(site, {});
    ASSERT_EQ(server.listen("127.0.0.1", 0), "");
    server.run(2);
    const std::string head = "GET /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    std::vector<int> slow;
    auto open_slow = [&] {
        int s = connected(server.port());
        ::fcntl(s, F_SETFL, O_NONBLOCK);
        ::send(s, head.data(), head.size(), MSG_NOSIGNAL);
        return s;
    };
    for (int i = 0; i < 200; ++i) {
        slow.push_back(open_slow());
    }
    std::atomic<bool> done{false};
    std::thread attacker([&] {
        // A byte on each in turn; one the server closed is opened again at once.
        for (int round = 0; round < 100000 && !done; ++round) {
            for (int& s : slow) {
                char probe;
                if (::send(s, "a", 1, MSG_NOSIGNAL) < 0 || ::recv(s, &probe, 1, MSG_PEEK) == 0) {
                    ::close(s);
                    s = open_slow();
                }
            }
            std::this_thread::sleep_for(20ms);
        }
    });
    // A request kept out hears nothing; ten seconds of silence say so even under a sanitizer on
    // a busy machine, where two were seen to pass with the request merely slow.
    int answered = 0;
    const int asked = 40;
    for (int i = 0; i < asked; ++i) {
        std::string answer = raw_request(
            server.port(),
            "GET /api/summary HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 10s);
        answered += answer.rfind("HTTP/1.1 200", 0) == 0;
    }
    done = true;
    attacker.join();
    for (int s : slow) {
        ::close(s);
    }
    EXPECT_GE(answered * 100, asked * 95) << answered << " of " << asked;
    server.stop();
}

// A folder whose read hangs, a network share gone, leaves the others answering: it is shown as
// last read and marked. Each file is read once per change, a log from where the last read ended.
TEST(Serve, AHungFolderLeavesTheOthersAndFilesAreReadOncePerChange) {
    TempRoot root;
    fs::path quick = root.path / "quick";
    fs::path hung = root.path / "hung";
    for (const fs::path& f : {quick, hung}) {
        write_file_bytes(f / "Ring.TXT", record("3000000", "    100", ' ') +
                                             record("3000001", "    200", 'Y') + "\r\n");
        write_file_bytes(f / "RINGY.txt",
                         "3000001   08-12 10:00:05" + std::string(44, ' ') + "\r\n");
        // The hung folder's share runs an hour fast: a time ahead of ours is settled too.
        int offset = f == hung ? -7200 : 0;
        settle(f / "Ring.TXT", offset);
        settle(f / "RINGY.txt", offset);
    }
    // Held by the reader itself: a folder's thread left behind in a read at the stop may end
    // it after this test.
    struct Reads {
        std::mutex mutex;
        std::condition_variable released;
        bool stall = false;
        int stalled = 0;  // reads of the hung folder waiting now
        std::map<std::string, std::vector<std::uintmax_t>> from;  // file → offsets read from
    };
    auto shared = std::make_shared<Reads>();
    Reads& r = *shared;
    ringlist::FileReader reader = [shared, hung](const fs::path& path, std::uintmax_t offset,
                                                 std::string& error) {
        {
            std::unique_lock lock(shared->mutex);
            shared->from[path.parent_path().filename().string() + "/" + path.filename().string()]
                .push_back(offset);
            ++shared->stalled;
            shared->released.wait(lock,
                                  [&] { return !shared->stall || path.parent_path() != hung; });
            --shared->stalled;
        }
        return ringlist::read_file_from(path, offset, error);
    };
    auto summary =
        std::make_unique<ringlist::Summary>(std::vector<fs::path>{quick, hung}, reader, 2s);
    auto folders = [&] {
        return nlohmann::json::parse(summary->text(ringlist::Summary::Clock::now()))["folders"];
    };
    for (int i = 0; i < 5; ++i) {
        nlohmann::json f = folders();
        EXPECT_EQ(f[0]["notified"], 1);
        EXPECT_EQ(f[1]["notified"], 1);
        EXPECT_EQ(f[1]["responding"], true);
    }
    {
        std::lock_guard lock(r.mutex);
        EXPECT_EQ(r.from["quick/Ring.TXT"], std::vector<std::uintmax_t>{0});
        EXPECT_EQ(r.from["quick/RINGY.txt"], std::vector<std::uintmax_t>{0});
        EXPECT_EQ(r.from["hung/Ring.TXT"], std::vector<std::uintmax_t>{0});
        EXPECT_EQ(r.from["hung/RINGY.txt"], std::vector<std::uintmax_t>{0});
    }
    // A result appended: only the new line is read.
    std::ofstream(quick / "RINGY.txt", std::ios::app | std::ios::binary)
        << "3000000   08-12 10:01:05" + std::string(44, ' ') + "\r\n";
    settle(quick / "RINGY.txt", 60);
    EXPECT_EQ(folders()[0]["marks"]["records"]["Y"], 1);  // the list's marks, not the log's
    {
        std::lock_guard lock(r.mutex);
        EXPECT_EQ(r.from["quick/RINGY.txt"], (std::vector<std::uintmax_t>{0, 70}));
        EXPECT_EQ(r.from["quick/Ring.TXT"].size(), 1u);
    }
    // Written over in place at the same size, a line spoiled: read whole again, not from its end.
    {
        std::fstream log(quick / "RINGY.txt", std::ios::in | std::ios::out | std::ios::binary);
        log.seekp(70 + 10);
        log.put('x');
    }
    settle(quick / "RINGY.txt", 120);
    EXPECT_EQ(folders()[0]["problems"], 1);
    {
        std::lock_guard lock(r.mutex);
        EXPECT_EQ(r.from["quick/RINGY.txt"], (std::vector<std::uintmax_t>{0, 70, 0}));
    }
    // A line left without its CR LF, the file settled: said, and not counted as spoiled.
    std::ofstream(quick / "RINGY.txt", std::ios::app | std::ios::binary) << "3000001   08-12 10:0";
    settle(quick / "RINGY.txt", 30);
    nlohmann::json torn = folders()[0];
    EXPECT_EQ(torn["warnings"],
              nlohmann::json::array(
                  {"Журнал RINGY.txt: последняя строка не дописана (нет CR LF в конце)"}));
    EXPECT_EQ(torn["problems"], 1);
    EXPECT_EQ(folders()[1]["warnings"], nlohmann::json::array());
    {
        std::lock_guard lock(r.mutex);
        r.stall = true;
    }
    // The hung folder's list changes, and its read never comes back.
    write_file_bytes(hung / "Ring.TXT", record("3000000", "    100", 'Y') +
                                            record("3000001", "    200", 'Y') + "\r\n");
    settle(hung / "Ring.TXT", 60);
    for (int i = 0; i < 3; ++i) {
        nlohmann::json f = folders();
        EXPECT_EQ(f[0]["responding"], true);
        EXPECT_EQ(f[0]["records"], 2);
        EXPECT_EQ(f[1]["responding"], false);
        EXPECT_EQ(f[1]["notified"], 1);  // as last read
    }
    {
        std::lock_guard lock(r.mutex);
        r.stall = false;
    }
    r.released.notify_all();
    nlohmann::json back = folders();
    for (int i = 0; i < 100 && back[1]["responding"] != true; ++i) {
        back = folders();  // the look under way ends, then one for this request
    }
    EXPECT_EQ(back[1]["responding"], true);
    EXPECT_EQ(back[1]["notified"], 2);

    // Stopped while the hung folder is in a read that never ends: the others' threads are
    // joined, that one is left behind, and the stop comes back (SIGTERM ends the server so).
    {
        std::lock_guard lock(r.mutex);
        r.stall = true;
    }
    write_file_bytes(hung / "Ring.TXT", record("3000000", "    100", 'Z') + "\r\n");
    settle(hung / "Ring.TXT", 30);
    EXPECT_EQ(folders()[1]["responding"], false);
    {
        std::lock_guard lock(r.mutex);
        EXPECT_EQ(r.stalled, 1);
    }
    auto stopped = std::async(std::launch::async, [&] { summary.reset(); });
    EXPECT_EQ(stopped.wait_for(120s), std::future_status::ready);
    {
        std::lock_guard lock(r.mutex);
        r.stall = false;
    }
    r.released.notify_all();
    stopped.wait();

    // A FIFO for a list is refused at once by the real reader.
    fs::path piped = root.path / "piped";
    fs::create_directories(piped);
    ASSERT_EQ(::mkfifo((piped / "Ring.TXT").c_str(), 0600), 0);
    ringlist::Summary plain({piped});
    nlohmann::json f = nlohmann::json::parse(plain.text(ringlist::Summary::Clock::now()));
    EXPECT_NE(f["folders"][0]["error"].get<std::string>().find("не обычный файл"),
              std::string::npos)
        << f.dump();
    EXPECT_EQ(f["folders"][0]["responding"], true);
    std::string metrics = plain.metrics(ringlist::Summary::Clock::now());
    EXPECT_NE(metrics.find("boardrack_folder_error{folder=\"" + piped.string() + "\"} 1\n"),
              std::string::npos)
        << metrics;

    // A list or log past the bound Dialrun keeps to is said, never read (sparse: no disk taken).
    const struct {
        const char* file;
        const char* said;
        const char* what;
    } big[] = {
        {"Ring.TXT", "Ring.TXT: файл слишком велик (больше 256 МБ)", "Список "},
        {"RINGN.txt", "RINGN.txt: файл слишком велик (больше 256 МБ)", "Журнал "},
    };
    for (const auto& b : big) {
        fs::path dir = root.path / (std::string("big-") + b.file);
        write_file_bytes(dir / "Ring.TXT", record("3000000", "    100", ' ') + "\r\n");
        write_file_bytes(dir / b.file, "");
        fs::resize_file(dir / b.file, (std::uintmax_t{256} << 20) + 1);
        ringlist::Summary sized({dir});
        nlohmann::json g = nlohmann::json::parse(sized.text(ringlist::Summary::Clock::now()));
        std::string error = g["folders"][0].value("error", "");
        EXPECT_NE(error.find(b.said), std::string::npos) << b.file << ": " << g.dump();
        EXPECT_EQ(error.rfind(b.what, 0), 0u) << error;
    }

    // A list is counted as the start reads it, whether all its lines are records or not.
    const std::string blank = record("3000000", "    100", ' ');
    const std::string called = record("3000001", "    200", 'Y');
    const struct {
        std::string bytes;
        int records;
        int notified;
        long long uncalled_amount;
        int problems;
    } lists[] = {
        {blank + called + "\r\n" + called + called, 2, 1, 100, 0},
        {blank + called, 2, 1, 100, 0},
        {blank + "3000002  abc    Y\r\n" + called + "\r\n", 2, 1, 100, 1},
        {called + "3000003", 1, 1, 0, 1},
        {"3000004    100 \n\r\n" + called, 0, 0, 0, 1},
        {called + "3000005    1 2 3  \r\n\r\n", 2, 1, 10203, 0},
        {"", 0, 0, 0, 0},
    };
    int n = 0;
    for (const auto& l : lists) {
        fs::path dir = root.path / ("list-" + std::to_string(++n));
        write_file_bytes(dir / "Ring.TXT", l.bytes);
        ringlist::Summary counted({dir});
        nlohmann::json g =
            nlohmann::json::parse(counted.text(ringlist::Summary::Clock::now()))["folders"][0];
        EXPECT_EQ(g["records"], l.records) << n;
        EXPECT_EQ(g["notified"], l.notified) << n;
        EXPECT_EQ(g["marks"]["amounts"]["uncalled"], l.uncalled_amount) << n;
        EXPECT_EQ(g["problems"], l.problems) << n;
    }
}
