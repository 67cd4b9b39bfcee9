// Each engine against boards that answer badly: after the survey, every reply is the board's
// own, a random byte, nothing at all, or late, by a seeded draw. No crash, no hang, and a run
// told to stop ends within what its deadlines allow.

#include <gtest/gtest.h>

#include <random>

#include "dialrun/dialrun_controller.h"
#include "inform/inform_controller.h"
#include "pinread/pinread_controller.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;

namespace {

class ChaosTransport : public Transport {
  public:
    ChaosTransport(core::Transport& honest, Clock& clock, uint32_t seed, int honest_writes)
        : honest_(honest), clock_(clock), random_(seed), honest_writes_(honest_writes) {}
    std::string name() const override { return "chaos"; }
    std::string write_byte(uint8_t value) override {
        ++writes_;
        return honest_.write_byte(value);
    }
    ReadResult read_byte(Duration deadline) override {
        if (writes_ <= honest_writes_) {
            return honest_.read_byte(deadline);
        }
        int draw = std::uniform_int_distribution<int>(0, 99)(random_);
        if (draw < 70) {
            return honest_.read_byte(deadline);
        }
        honest_.discard_input();  // what the board said is lost
        if (draw < 85) {
            Duration delay(std::uniform_int_distribution<int64_t>(0, 3000000)(random_));
            if (clock_.now() + delay > deadline) {
                clock_.sleep_until(deadline);
                return ReadResult::timeout();
            }
            clock_.sleep_for(delay);
            return ReadResult::byte(static_cast<uint8_t>(random_()));
        }
        clock_.sleep_until(deadline);
        return ReadResult::timeout();
    }
    std::vector<uint8_t> discard_input() override { return honest_.discard_input(); }

  private:
    core::Transport& honest_;
    Clock& clock_;
    std::mt19937 random_;
    int honest_writes_;
    int writes_ = 0;
};

const char* const RACK =
    "K1 ring line busy=1\nK2 dtmf line ring=1 dial=1\nK3 informer line message-time=2\n"
    "K4 time line messages=2\nK5 ring line results=2\nK6 dtmf line\nK7 informer line\n"
    "K8 time line\n";
const int SURVEY_BYTES = 32;

// One run of a program's engine on chaotic boards; returns the program time from the stop to
// the end of the run.
template <typename C>
void chaotic_run(uint32_t seed, const std::string& list, Duration bound) {
    TempRoot root;
    root.write("Ring.TXT", list);
    LocalTime nine;
    parse_local_time("2026-12-07T09:00:00", nine);
    ProgramOnRack<C> p(RACK, Setting{"", root.path.string(), nine});
    p.template interpose<ChaosTransport>(p.clock, seed, SURVEY_BYTES);
    p.start_and_survey();
    EXPECT_EQ(p.controller->state().link_state, LINK_FREE) << "the survey is honest";
    Duration until = p.clock.now() + 120s;
    p.clock.hold_at(until);
    EXPECT_EQ(p.press(Button::start), std::nullopt);
    // Runs until the hold, or until the chaos has ended the run already.
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!p.clock.wait_reached(until, 5ms) && p.controller->busy()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "seed " << seed << " hangs";
    }
    p.press(Button::stop);
    Duration stopped = p.clock.now();
    p.clock.release_hold();
    bool ended = p.controller->wait_idle(20s);
    EXPECT_TRUE(ended) << "seed " << seed << " hangs";
    EXPECT_EQ(p.controller->state().link_state, LINK_WORK_ENDED) << "seed " << seed;
    EXPECT_LE(p.clock.now() - stopped, bound) << "seed " << seed;
    p.controller->close();
    p.controller.reset();
}

std::string list_of(int count) {
    return ::list_of(count, 5000000, [](int) { return 1000; });
}

}  // namespace

TEST(RandomBoards, EveryEngineEndsAfterAStopWithinItsDeadlines) {
    // Bounds after "Стоп": each served channel finishes what it does and is released; every
    // wait is bounded by its deadline (Dialrun 2 s, Pinread 30 s, Inform 59 s).
    const Duration dialrun_bound = 8 * 20 * 2s;
    const Duration pinread_bound = 8 * 12 * 30s;
    const Duration inform_bound = 8 * 2 * 6 * 59s;
    for (uint32_t seed = 1; seed <= 1000; ++seed) {
        chaotic_run<dialrun::DialrunController>(seed, list_of(40), dialrun_bound);
        chaotic_run<pinread::PinreadController>(seed, "", pinread_bound);
        chaotic_run<inform::InformController>(seed, "", inform_bound);
        if (HasFailure()) {
            FAIL() << "first failing seed: " << seed;
        }
    }
}
