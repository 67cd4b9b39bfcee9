#pragma once

#include <atomic>

#include "base/auto_reset_event.h"
#include "base/service_notifier.h"
#include "files/drive_paths.h"
#include "link/link.h"
#include "state/channel_table.h"
#include "state/log_box.h"
#include "time/clock.h"

namespace station {

// Which activity owns the link.
enum LinkState : int {
    LINK_SURVEY = -1,
    LINK_FREE = 0,
    LINK_WORK = 1,
    LINK_UPLOAD = 3,
    LINK_CHECK = 4,
    LINK_WORK_ENDED = 10,
};

// Everything one program's threads share: no globals outside this object.
struct ProgramState {
    ProgramState(core::Link& link_, core::Clock& clock_, core::DriveC drive_)
        : link(link_), clock(clock_), drive(std::move(drive_)) {}

    core::Link& link;
    core::Clock& clock;
    core::DriveC drive;
    std::atomic<LinkState> link_state{LINK_SURVEY};
    std::atomic<int> upload_permit{0};
    // The last run of the engine ended because a board did not answer.
    std::atomic<bool> run_failed{false};
    // The program is being ended (a stop signal): no new exchange starts, and the survey and
    // an upload end after the exchange in progress.
    std::atomic<bool> ending{false};
    ChannelTable table;
    LogBox log;
    core::AutoResetEvent work_event;
    core::AutoResetEvent upload_event;
    core::AutoResetEvent time_upload_event;
    core::AutoResetEvent check_event;
    // The service manager, told from every loop and wait that the program is alive.
    core::ServiceNotifier service;
};

}  // namespace station
