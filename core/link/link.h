#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "link/transport.h"
#include "link/wire_trace.h"
#include "time/clock.h"

namespace core {

// The board link: one command byte out, one reply byte back. Used by one activity at a time
// (link_state decides which), so it takes no lock around an exchange.
class Link {
  public:
    using Report = std::function<void(const std::string&)>;

    Link(Transport& port, Clock& clock, WireTrace* trace = nullptr);

    // Deadline of read_reply (2 s; Pinread raises it to 30 s when its engine starts).
    void set_reply_limit(Duration limit) { reply_limit_ = limit; }
    Duration reply_limit() const { return reply_limit_; }
    // Deadline of read_reply_byte (Pinread: its reply_limit; Inform: 59 s).
    void set_reply_byte_limit(Duration limit) { reply_byte_limit_ = limit; }
    Duration reply_byte_limit() const { return reply_byte_limit_; }

    void send_byte(uint8_t value);
    // Opens an exchange: a late reply still waiting in the input is dropped first, so it
    // cannot pass for this board's answer.
    void send_select(uint8_t select_byte);
    // True when a reply arrived before the deadline; it is then in OGD.
    bool read_reply();
    // The reply byte 0..255, or -1 at the deadline.
    int read_reply_byte();
    uint8_t OGD() const { return ogd_; }
    // A prescribed pause before the next byte. It runs from the later of the last byte on
    // the line and the end of the previous pause, so the work done since that byte counts
    // towards it, and pauses in a row add up as they always did.
    void pause(Duration d);

    // Where the link tells the operator, once, that the device has gone.
    void set_report(Report report);
    bool device_lost() const { return device_lost_; }
    // Closes the port and opens it again, when no activity uses the link; "" when it opened,
    // else the reason. A later loss is reported again.
    std::string reopen();

    Clock& clock() { return clock_; }
    WireTrace* trace() { return trace_; }
    const std::string port_name() const { return port_.name(); }

  private:
    bool read_within(Duration limit);
    // Reports the loss the first time; true when this was the first time.
    bool note_device_lost(const std::string& reason);

    Transport& port_;
    Clock& clock_;
    WireTrace* trace_;
    std::atomic<Duration> reply_limit_{std::chrono::seconds(2)};
    std::atomic<Duration> reply_byte_limit_{std::chrono::seconds(2)};
    std::atomic<uint8_t> ogd_{0};
    std::atomic<Duration> pause_from_{Duration{0}};
    std::atomic<bool> device_lost_{false};
    std::mutex report_mutex_;
    Report report_;
};

// Texts the operator sees about the port itself.
std::string port_not_opened_text(const std::string& port, const std::string& reason);
std::string port_lost_text(const std::string& port, const std::string& reason);

}  // namespace core
