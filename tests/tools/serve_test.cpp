// ringlist serve: what the page is told, and what it refuses, before any network.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <netinet/in.h>

#include <nlohmann/json.hpp>
#include <sstream>

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
                    const std::string& authorization = "", const std::string& cookie = "") {
    return site.answer({method, target, authorization, cookie}, ringlist::Summary::Clock::now());
}

// One raw request on a socket, the whole answer back.
std::string raw_request(unsigned short port, const std::string& request) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    EXPECT_EQ(::send(s, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    std::string answer;
    char chunk[4096];
    for (ssize_t n; (n = ::recv(s, chunk, sizeof chunk, 0)) > 0;) {
        answer.append(chunk, static_cast<size_t>(n));
    }
    ::close(s);
    return answer;
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
}

// The counts agree with the list while a campaign writes it, and at its end; a status file
// that stops changing is stale after two minutes of the server's clock.
TEST(Serve, TheSummaryCountsTheListAsACampaignGoes) {
    TempRoot root;
    fs::path folder = root.path / "<script>alert(1)</script>";
    fs::create_directories(folder);
    std::string list;
    for (int i = 0; i < 30; ++i) {
        list += record(std::to_string(3000000 + i), "    " + std::to_string(100 + i),
                       i % 10 == 3 ? 'X' : ' ');
    }
    write_file_bytes(folder / "Ring.TXT", list + "\r\n");
    ringlist::Summary summary({folder});
    ProgramOnRack<dialrun::DialrunController> p(
        "K1 ring line busy=5 results=1,2\nK2 ring line busy=7 results=0,1\n",
        Setting{"", folder.string(), at("2026-12-08T10:00:00")});
    p.start_and_survey();
    EXPECT_EQ(p.press(core::Button::start), std::nullopt);
    auto counts_agree = [&](bool final) {
        nlohmann::json f =
            nlohmann::json::parse(summary.text(ringlist::Summary::Clock::now()))["folders"][0];
        EXPECT_EQ(f["name"], folder.string());
        EXPECT_EQ(f["records"], 30);
        EXPECT_EQ(f["excluded"], 3);
        long long shown = f["notified"].get<long long>() + f["not_notified"].get<long long>() +
                          f["left"].get<long long>() + f["excluded"].get<long long>();
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
            EXPECT_EQ(f["left"], 0);
            EXPECT_EQ(f["percent"], (y + zn) * 100 / 30);
            EXPECT_EQ(f["status"], nullptr);
        }
    };
    while (!p.controller->wait_idle(10ms)) {
        counts_agree(false);
    }
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
}

// Off this PC only with a token; a request too big or a crowd of idle connections does not
// stop the server answering.
TEST(Serve, RefusalsAtStartAndRequestsTooBig) {
    TempRoot root;
    std::ostringstream out;
    ringlist::ServeOptions open;
    open.folders = {root.path};
    open.listen = "0.0.0.0:18099";
    EXPECT_EQ(ringlist::serve(open, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("нужен ключ доступа (--token-file)"), std::string::npos) << out.str();
    root.write("short.key", "0123456789\n");
    open.token_file = root.path / "short.key";
    out.str("");
    EXPECT_EQ(ringlist::serve(open, out), ringlist::REFUSED);
    EXPECT_NE(out.str().find("короче 16 знаков"), std::string::npos) << out.str();

    ringlist::Summary summary({root.path});
    ringlist::Site site(summary, "");
    ringlist::Server server(site, {.connections = 4, .header_bytes = 1024, .seconds = 2});
    ASSERT_EQ(server.listen("127.0.0.1", 0), "");
    server.run(2);
    std::vector<int> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(server.port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(idle.back(), reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // The idle ones time out; the server answers again within the time-out.
    std::string answer;
    auto give_up = std::chrono::steady_clock::now() + 20s;
    while (answer.rfind("HTTP/1.1 200", 0) != 0 && std::chrono::steady_clock::now() < give_up) {
        answer = raw_request(server.port(),
                             "GET /api/summary HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    }
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    for (int s : idle) {
        ::close(s);
    }
    std::string huge = "GET / HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(4000, 'a') +
                       "\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(raw_request(server.port(), huge).rfind("HTTP/1.1 431", 0), 0u);
    server.stop();
}
