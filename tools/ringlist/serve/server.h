#pragma once

#include <memory>
#include <string>

#include "ringlist/serve/site.h"

namespace ringlist {

// The HTTP side of ringlist serve, on Boost.Beast: a bounded number of connections, a bounded
// request, and a time-out on each read and write, so that slow or many clients cannot stop it:
// a request must come whole within request_seconds, and a new client at the limit takes the
// place of the connection that has waited longest for a request.
class Server {
  public:
    struct Limits {
        int connections = 64;
        int header_bytes = 8192;
        int seconds = 10;  // to write an answer
        int request_seconds = 5;
    };

    Server(Site& site, Limits limits);
    ~Server();
    // Listens on address and port (0: any free one). Returns "" or why not.
    std::string listen(const std::string& address, unsigned short port);
    unsigned short port() const;
    // Serves until stop(), on threads of its own.
    void run(int threads);
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Whether an address is this PC's alone: 127.0.0.0/8 or ::1.
bool loopback_address(const std::string& address);

}  // namespace ringlist
