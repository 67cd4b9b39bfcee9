#pragma once

#include <atomic>
#include <cstdint>

namespace core {

// What a service manager is told of the program through its notification socket (systemd's
// NOTIFY_SOCKET): that the program serves, that it is alive, that it is ending. Where no
// manager listens (NOTIFY_SOCKET unset) and on Windows, nothing is said. Safe from any thread.
class ServiceNotifier {
  public:
    ServiceNotifier();

    // READY=1: the survey is over and the program serves.
    void ready();
    // WATCHDOG=1, from every loop and wait, so that only a program that hangs is restarted;
    // said at most once a second, however fast the loops turn.
    void alive();
    // STOPPING=1: the program is on its way out.
    void stopping();

  private:
    void say(const char* state);

    bool listened_ = false;
    // When alive() last spoke, in milliseconds of the steady clock: the manager's watchdog runs
    // on real time whatever clock the program's work runs on.
    std::atomic<int64_t> alive_said_{INT64_MIN / 2};
};

}  // namespace core
