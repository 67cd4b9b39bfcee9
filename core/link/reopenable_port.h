#pragma once

#include <memory>
#include <string>

#include "link/transport.h"
#include "time/clock.h"

namespace core {

// A serial port that can be closed and opened again after it failed: by its name, and for a
// USB adapter also by the /dev/serial/by-id/ link that named it at start, since an adapter
// plugged in again may come back as another ttyUSB. While it is not open it is a closed port:
// every exchange ends at its deadline.
class ReopenablePort : public Transport {
  public:
    // port: the port as opened at start, or null when it would not open.
    ReopenablePort(std::string name, std::unique_ptr<Transport> port, Clock& clock);

    std::string name() const override { return name_; }
    std::string write_byte(uint8_t value) override { return port_->write_byte(value); }
    ReadResult read_byte(Duration deadline) override { return port_->read_byte(deadline); }
    std::vector<uint8_t> discard_input() override { return port_->discard_input(); }
    std::string reopen() override;

  private:
    const std::string name_;
    const std::string by_id_;  // "" where there is none
    Clock& clock_;
    std::unique_ptr<Transport> port_;
};

// The /dev/serial/by-id/ link that leads to port now; "" where none does (or not on Linux).
std::string serial_by_id_link(const std::string& port);

}  // namespace core
