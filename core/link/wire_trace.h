#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "time/clock.h"

namespace core {

// The wire trace (--trace FILE): one line per event, seconds on the link's clock, so that an
// exchange can be audited byte by byte and pause by pause:
//   T.TTT > XX      byte sent
//   T.TTT < XX      byte received
//   T.TTT ~ XX      late byte found in the input before a select and discarded
//   T.TTT play PATH a WAV file starts playing
class WireTrace {
  public:
    WireTrace(const Clock& clock) : clock_(clock) {}
    ~WireTrace();
    WireTrace(const WireTrace&) = delete;
    WireTrace& operator=(const WireTrace&) = delete;

    // Returns an empty string on success, else the system's reason.
    std::string open(const std::string& path);

    void sent(uint8_t value) { write_byte_line('>', value); }
    void received(uint8_t value) { write_byte_line('<', value); }
    void discarded(uint8_t value) { write_byte_line('~', value); }
    void play(const std::string& path);

  private:
    void write_byte_line(char direction, uint8_t value);
    std::string stamp() const;

    const Clock& clock_;
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

}  // namespace core
