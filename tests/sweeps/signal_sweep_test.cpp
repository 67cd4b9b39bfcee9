// The signal sweep: every phase of every program, stopped by SIGTERM and by SIGINT, with its
// standard input open and at its end.
//
// SIGNAL_SWEEP_STRIDE=K (1 to 4) runs one of every K of the four ways a phase is stopped, the
// way turning from phase to phase: every phase of every program is still stopped at least
// once, in a quarter of the time with K=4 (the sanitizer builds, where each run is slower).

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>

#include "support/signal_phases.h"

namespace {

int sweep_stride() {
    const char* text = std::getenv("SIGNAL_SWEEP_STRIDE");
    int stride = text == nullptr ? 1 : std::atoi(text);
    return std::clamp(stride, 1, 4);
}

}  // namespace

TEST(SignalSweep, EveryPhaseOfEveryProgramEndsWellOnEitherSignalWithInputOpenOrClosed) {
    int stride = sweep_stride();
    std::vector<SignalPhase> phases = signal_phases();
    int run = 0;
    for (size_t p = 0; p < phases.size(); ++p) {
        int way = 0;
        for (int signal : {SIGTERM, SIGINT}) {
            for (bool input_open : {true, false}) {
                if ((static_cast<int>(p) + way++) % stride == 0) {
                    expect_signalled_end(phases[p], signal, input_open);
                    ++run;
                }
            }
        }
    }
    EXPECT_EQ(run, stride == 1 ? 72 : stride == 2 ? 36 : stride == 3 ? 24 : 18);
}
