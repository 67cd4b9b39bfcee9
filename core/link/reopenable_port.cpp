#include "link/reopenable_port.h"

#include <filesystem>

#include "link/closed_port.h"
#include "link/serial_port.h"

namespace core {

ReopenablePort::ReopenablePort(std::string name, std::unique_ptr<Transport> port, Clock& clock)
    : name_(std::move(name)), by_id_(serial_by_id_link(name_)), clock_(clock) {
    port_ = port ? std::move(port) : std::make_unique<ClosedPort>(name_, clock_);
}

std::string ReopenablePort::reopen() {
    // The old descriptor goes first: it holds the port's lock.
    port_ = std::make_unique<ClosedPort>(name_, clock_);
    OpenedPort opened = open_serial_port(name_, clock_);
    if (!opened.port && !by_id_.empty()) {
        OpenedPort by_id = open_serial_port(by_id_, clock_);
        if (by_id.port) {
            opened = std::move(by_id);
        }
    }
    if (!opened.port) {
        return opened.error;
    }
    port_ = std::move(opened.port);
    return {};
}

std::string serial_by_id_link(const std::string& port) {
#ifdef _WIN32
    (void)port;
    return {};
#else
    std::error_code ec;
    std::filesystem::path device = std::filesystem::canonical(port, ec);
    if (ec) {
        return {};
    }
    for (const auto& entry : std::filesystem::directory_iterator("/dev/serial/by-id", ec)) {
        std::error_code link_ec;
        if (std::filesystem::canonical(entry.path(), link_ec) == device && !link_ec) {
            return entry.path().string();
        }
    }
    return {};
#endif
}

}  // namespace core
