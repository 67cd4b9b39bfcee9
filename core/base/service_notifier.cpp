#include "base/service_notifier.h"

#include <chrono>
#include <cstdlib>

#ifdef __linux__
#include <systemd/sd-daemon.h>
#endif

namespace core {

namespace {

constexpr int64_t ALIVE_EVERY_MS = 1000;

int64_t steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ServiceNotifier::ServiceNotifier() {
#ifdef __linux__
    const char* socket = std::getenv("NOTIFY_SOCKET");
    listened_ = socket != nullptr && *socket != 0;
#endif
}

void ServiceNotifier::ready() {
    say("READY=1");
}

void ServiceNotifier::alive() {
    if (!listened_) {
        return;
    }
    int64_t now = steady_ms();
    int64_t said = alive_said_.load();
    if (now - said < ALIVE_EVERY_MS || !alive_said_.compare_exchange_strong(said, now)) {
        return;  // said within the second, or another thread says it now
    }
    say("WATCHDOG=1");
}

void ServiceNotifier::stopping() {
    say("STOPPING=1");
}

// A manager that does not take the message cannot be told so: the program serves on.
void ServiceNotifier::say([[maybe_unused]] const char* state) {
#ifdef __linux__
    if (listened_) {
        sd_notify(0, state);
    }
#endif
}

}  // namespace core
