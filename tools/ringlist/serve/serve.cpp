// ringlist serve: the supervisor's live page of campaign folders, until it is stopped.

#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/serve/server.h"

namespace ringlist {

namespace {

std::atomic<bool> stopping{false};

void on_signal(int) {
    stopping = true;
}

// "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:80", "localhost:0" (any free port). Returns what is
// wrong.
std::string split_listen(const std::string& text, std::string& address, unsigned short& port) {
    size_t colon = text.rfind(':');
    long number = 0;
    if (colon == std::string::npos ||
        !core::whole_number(text.substr(colon + 1), 0, 65535, number)) {
        return "--listen: нужно АДРЕС:ПОРТ, например 127.0.0.1:8080, а не \"" + text + "\"";
    }
    address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    if (address == "localhost") {
        address = "127.0.0.1";  // this PC's name: the same loopback, not every address
    }
    port = static_cast<unsigned short>(number);
    return {};
}

// The characters a key may have: those that pass in a link's ?token= as they are.
bool link_safe(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// How a character of a key is named in a refusal: itself when it can be seen, else its code.
std::string named_char(char c) {
    if (c > ' ' && c < 0x7f) {
        return "\"" + std::string(1, c) + "\"";
    }
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(c));
    return c == ' ' ? "пробел" : std::string("байт ") + code;
}

// The key of --token-file: its one line, without the BOM a Windows editor puts before it and
// the line ends an editor or echo leaves after it. Returns what is wrong with it.
std::string read_key(const std::filesystem::path& file, std::string& key, std::ostream& out) {
    std::string error;
    key = core::read_regular_file(file, error, 4096);
    const std::string name = core::path_utf8(file);
    if (!error.empty()) {
        return "Файл ключа " + name + " не читается: " + error;
    }
    if (key.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        key.erase(0, 3);
    }
    while (!key.empty() && key.back() == '\n') {
        key.pop_back();
        if (!key.empty() && key.back() == '\r') {
            key.pop_back();
        }
    }
    if (key.find('\n') != std::string::npos) {
        return "В файле ключа " + name + " больше одной строки: ключ - одна строка";
    }
    if (key.size() < 16) {
        return "Ключ в " + name + " короче 16 знаков";
    }
    for (size_t i = 0; i < key.size(); ++i) {
        if (!link_safe(key[i])) {
            return "Ключ в " + name +
                   ": только латинские буквы, цифры и знаки - . _ ~ (их не меняет ссылка "
                   "?token=), а в нём " +
                   named_char(key[i]) + " (знак " + std::to_string(i + 1) + ")";
        }
    }
#ifndef _WIN32
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        out << "Внимание: файл ключа " << name
            << " могут читать другие пользователи этого ПК (chmod 600 " << name << ")\n";
    }
#else
    (void)out;
#endif
    return {};
}

// How a browser writes the address: an IPv6 one in brackets.
std::string link_host(const std::string& address) {
    return address.find(':') == std::string::npos ? address : "[" + address + "]";
}

// Serves the site on address and port until SIGINT or SIGTERM.
int run_site(Site& site, const std::string& address, unsigned short port, bool keyed,
             std::ostream& out) {
    Server server(site, {});
    std::string error = server.listen(address, port);
    if (!error.empty()) {
        out << "Сервер не запущен: " << error << "\n";
        return REFUSED;
    }
    site.cookie_for_port(server.port());
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    server.run(4);  // a page's script is not kept waiting behind a folder being read
    out << "Страница прозвонки: http://" << link_host(address) << ":" << server.port() << "/"
        << (keyed ? "?token=..." : "") << " (остановить: Ctrl+C)" << std::endl;
    while (!stopping) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    server.stop();
    out << "Сервер остановлен\n";
    return DONE;
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
        std::string refusal = read_key(o.token_file, token, out);
        if (!refusal.empty()) {
            out << refusal << "\n";
            return REFUSED;
        }
    } else if (!loopback_address(address)) {
        out << "Адрес " << address << " виден из сети: нужен ключ доступа (--token-file)\n";
        return REFUSED;
    }
    if (!o.database.empty()) {
        CampaignView campaign(o.database);
        Site site(campaign, token);
        return run_site(site, address, port, !token.empty(), out);
    }
    Summary summary(o.folders);
    Site site(summary, token);
    return run_site(site, address, port, !token.empty(), out);
}

}  // namespace ringlist
