// ringlist serve: the supervisor's live page of campaign folders, until it is stopped.

#include <atomic>
#include <csignal>
#include <thread>

#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/serve/server.h"

namespace ringlist {

namespace {

std::atomic<bool> stopping{false};

void on_signal(int) {
    stopping = true;
}

// "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:80". Returns what is wrong.
std::string split_listen(const std::string& text, std::string& address, unsigned short& port) {
    size_t colon = text.rfind(':');
    long number = 0;
    if (colon == std::string::npos ||
        !core::whole_number(text.substr(colon + 1), 1, 65535, number)) {
        return "--listen: нужно АДРЕС:ПОРТ, например 127.0.0.1:8080, а не \"" + text + "\"";
    }
    address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    port = static_cast<unsigned short>(number);
    return {};
}

}  // namespace

int serve(const ServeOptions& o, std::ostream& out) {
    std::string address;
    unsigned short port = 0;
    std::string wrong = split_listen(o.listen, address, port);
    if (!wrong.empty()) {
        out << wrong << "\n";
        return USAGE;
    }
    std::string token;
    if (!o.token_file.empty()) {
        std::string error;
        token = core::trimmed(core::read_file_bytes(o.token_file, error));
        if (!error.empty()) {
            out << "Файл ключа " << core::path_utf8(o.token_file) << " не читается: " << error
                << "\n";
            return REFUSED;
        }
        if (token.size() < 16 || token.find_first_of(" \t\r\n;&") != std::string::npos) {
            out << "Ключ в " << core::path_utf8(o.token_file)
                << " короче 16 знаков или с пробелами, \";\" или \"&\"\n";
            return REFUSED;
        }
    } else if (!loopback_address(address)) {
        out << "Адрес " << address << " виден из сети: нужен ключ доступа (--token-file)\n";
        return REFUSED;
    }
    Summary summary(o.folders);
    Site site(summary, token);
    Server server(site, {});
    std::string error = server.listen(address, port);
    if (!error.empty()) {
        out << "Сервер не запущен: " << error << "\n";
        return REFUSED;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    server.run(2);
    out << "Страница прозвонки: http://" << o.listen << "/" << (token.empty() ? "" : "?token=...")
        << " (остановить: Ctrl+C)" << std::endl;
    while (!stopping) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    server.stop();
    out << "Сервер остановлен\n";
    return DONE;
}

}  // namespace ringlist
