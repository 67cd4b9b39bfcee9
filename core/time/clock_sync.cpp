#include "time/clock_sync.h"

#ifdef __linux__
#include <sys/timex.h>
#endif

namespace core {

ClockSync system_clock_sync() {
#ifdef __linux__
    timex query{};  // modes 0: only reads
    int state = ::ntp_adjtime(&query);
    if (state < 0) {
        return ClockSync::unknown;
    }
    return state == TIME_ERROR || (query.status & STA_UNSYNC) != 0 ? ClockSync::unsynchronised
                                                                   : ClockSync::synchronised;
#else
    return ClockSync::unknown;
#endif
}

}  // namespace core
