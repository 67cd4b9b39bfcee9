#pragma once

// Debian's PostgreSQL started for a test in a folder of its own, on a free loopback port, and
// stopped at the end. As root the server runs as nobody: initdb refuses root.

#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

class PostgresServer {
  public:
    // The newest installed server's programs, or "" when there is none.
    static std::string find_binaries() {
        std::vector<std::filesystem::path> found;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
            if (std::filesystem::exists(entry.path() / "bin" / "initdb")) {
                found.push_back(entry.path() / "bin");
            }
        }
        if (found.empty()) {
            return "";
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return std::stoi(a.parent_path().filename().string()) <
                   std::stoi(b.parent_path().filename().string());
        });
        return found.back().string();
    }

    // Starts the server; "" or what went wrong, with the server's own log. The tests' server
    // does not sync its commits (a machine that crashes loses only a test); a durable one, for
    // figures that stand for a real server, keeps fsync and synchronous_commit on.
    std::string start(bool durable = false) {
        bin_ = find_binaries();
        char name[] = "/tmp/boardrack-pg-XXXXXX";
        if (::mkdtemp(name) == nullptr) {
            return "mkdtemp failed";
        }
        dir_ = name;
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr || ::chown(name, nobody->pw_uid, nobody->pw_gid) != 0) {
                return "the folder cannot be given to nobody";
            }
        }
        if (!run({bin_ + "/initdb", "-D", dir_ + "/data", "-U", USER, "-A", "trust", "-E", "UTF8",
                  "--no-locale", "--no-sync"},
                 dir_ + "/initdb.log")) {
            return "initdb failed: " + read(dir_ + "/initdb.log");
        }
        // A port found free may be taken before the server binds it: then another.
        for (int attempt = 0; attempt < 10; ++attempt) {
            port_ = free_port();
            durable_ = durable;
            if (start_again().empty()) {
                return "";
            }
        }
        return "pg_ctl start failed: " + read(dir_ + "/pg_ctl.log") + read(dir_ + "/server.log");
    }

    // Stops the server as an administrator would: its clients' connections are cut.
    std::string stop() {
        if (!run({bin_ + "/pg_ctl", "-D", dir_ + "/data", "-m", "fast", "-w", "stop"},
                 dir_ + "/pg_ctl.log")) {
            return "pg_ctl stop failed: " + read(dir_ + "/pg_ctl.log");
        }
        started_ = false;
        return "";
    }

    // Starts it (again) on its port.
    std::string start_again() {
        std::string options =
            "-p " + std::to_string(port_) +
            " -c listen_addresses=127.0.0.1 -c unix_socket_directories=" + dir_ +
            (durable_ ? " -c fsync=on -c synchronous_commit=on" : " -c fsync=off");
        if (!run({bin_ + "/pg_ctl", "-D", dir_ + "/data", "-l", dir_ + "/server.log", "-w", "-t",
                  "120", "-o", options, "start"},
                 dir_ + "/pg_ctl.log")) {
            return "pg_ctl start failed: " + read(dir_ + "/pg_ctl.log");
        }
        started_ = true;
        return "";
    }

    ~PostgresServer() {
        if (started_) {
            run({bin_ + "/pg_ctl", "-D", dir_ + "/data", "-m", "fast", "-w", "stop"},
                dir_ + "/pg_ctl.log");
        }
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }

    // A new empty database; "" or what went wrong.
    std::string create_database(const std::string& name) {
        if (!run({bin_ + "/createdb", "-h", "127.0.0.1", "-p", std::to_string(port_), "-U", USER,
                  name},
                 dir_ + "/createdb.log")) {
            return "createdb failed: " + read(dir_ + "/createdb.log");
        }
        return "";
    }

    // The ODBC connection string of a database on this server.
    std::string connection(const std::string& database) const {
        return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(port_) +
               ";Database=" + database + ";Uid=" + USER + ";";
    }

    int port() const { return port_; }

  private:
    static constexpr const char* USER = "boardrack";
    bool durable_ = false;

    static std::string read(const std::string& path) {
        std::string text;
        if (FILE* file = std::fopen(path.c_str(), "rb")) {
            char buffer[4096];
            for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
                text.append(buffer, n);
            }
            std::fclose(file);
        }
        return text;
    }

    // A loopback port no one listens on now.
    static int free_port() {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
        if (s >= 0) {
            ::close(s);
        }
        return port;
    }

    // Runs a program to its end, as nobody when we are root, its output to log; true when it
    // ended with 0.
    static bool run(const std::vector<std::string>& args, const std::string& log) {
        pid_t pid = ::fork();
        if (pid < 0) {
            return false;
        }
        if (pid == 0) {
            if (::geteuid() == 0) {
                const passwd* nobody = ::getpwnam("nobody");
                if (nobody == nullptr || ::setgroups(0, nullptr) != 0 ||
                    ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
                    ::_exit(125);
                }
            }
            int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) {
                ::_exit(126);
            }
            int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0) {
                ::dup2(null, 0);
            }
            std::vector<char*> argv;
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string bin_;
    std::string dir_;
    int port_ = 0;
    bool started_ = false;
};
