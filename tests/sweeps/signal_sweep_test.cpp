// The signal sweep: every phase of every program, stopped by SIGTERM and by SIGINT, with its
// standard input open and at its end.

#include <gtest/gtest.h>
#include <signal.h>

#include "support/signal_phases.h"

TEST(SignalSweep, EveryPhaseOfEveryProgramEndsWellOnEitherSignalWithInputOpenOrClosed) {
    for (const SignalPhase& phase : signal_phases()) {
        for (int signal : {SIGTERM, SIGINT}) {
            for (bool input_open : {true, false}) {
                expect_signalled_end(phase, signal, input_open);
            }
        }
    }
}
