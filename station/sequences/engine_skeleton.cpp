#include "sequences/engine_skeleton.h"

namespace station {

void EngineSkeleton::run_passes() {
    bool answered = start_pass();
    if (answered) {
        while ((answered = poll_pass()) && !(stop_requested() && all_stopped())) {
        }
    }
    state_.run_failed = !answered;
    end_run();
}

bool EngineSkeleton::start_pass() {
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        state_.service.alive();
        if (serves(k) && !start_channel(k)) {
            return false;
        }
    }
    return true;
}

// One pass over the channels; false when a failure ends the run.
bool EngineSkeleton::poll_pass() {
    before_pass();
    if (!pause_if_due()) {
        return false;
    }
    if (state_.log.count() > log_limit_) {
        state_.log.clear();
    }
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        state_.service.alive();
        before_channel(k);
        if (serves(k) && !poll_channel(k)) {
            return false;
        }
    }
    return true;
}

bool EngineSkeleton::all_stopped() const {
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        if (serves(k)) {
            return false;
        }
    }
    return true;
}

}  // namespace station
