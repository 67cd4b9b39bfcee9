#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "campaign/db/shared_campaign.h"
#include "campaign/db/verdict_outbox.h"
#include "link/commands.h"
#include "time/clock.h"

namespace dialrun {

// Where a rack takes its records from when many racks share one campaign in the database.
struct SharedSettings {
    std::string connection;  // campaign-db
    std::string campaign;
    std::string rack;  // rack-name
    int lease_seconds = 600;
    std::chrono::seconds reconnect{10};
};

// Dialrun's side of a shared campaign: a record for a free channel, the channel's verdict kept
// in the outbox before the database hears of it, the leases of the calls under way, and the
// waits for other racks or for the connection. Times that racks compare are the server's; the
// waits here are real seconds, while the rack's own (perhaps virtual) clock stands still.
class SharedCalling {
  public:
    SharedCalling(SharedSettings settings, std::filesystem::path outbox, unsigned mode)
        : settings_(std::move(settings)), outbox_(std::move(outbox), mode) {}

    // At "Старт": connects, sends what the outbox still holds, frees the holds of an earlier
    // run of this rack. Returns "" or why the run cannot start, naming the server.
    std::string start();
    // The next record for channel k, or why none now. A rack that heard "none" or lost the
    // connection asks again after a real second, or after the reconnect period.
    campaign::HandOut next(int k, std::string& error);
    // The record channel k was given last.
    const campaign::SharedRecord& record(int k) const { return records_[k]; }
    // Channel k's verdict into the outbox, on the disk before anything else. Returns "" or why
    // it could not be written.
    std::string keep(int k, char mark, const core::LocalTime& local, int64_t utc);
    // The verdicts kept, to the database (each counts once there); what is not sent stays in
    // the outbox for the next attempt. Returns "" or why the outbox could not be emptied.
    std::string deliver();
    // The leases of the records under way run on, a third of a lease apart.
    std::string renew(const std::array<bool, core::CHANNEL_COUNT>& under_way);
    // Whether a free channel may ask for a record: the last answer was a record or "over", or
    // none has come yet.
    bool may_take() const;
    // The reason of a wait, for the form, the journal and the status file.
    std::string wait_reason() const;
    // A wait of one real second (cut short by stop), then a look at the database.
    void wait_and_look(const std::atomic<bool>& stop, std::string& error);
    // At the end of a run: the outbox emptied when the database has it all.
    std::string finish();
    bool lost() const { return last_ == campaign::HandOut::lost; }
    // What the log says of the connection since last asked: lost, or back.
    std::vector<std::string> take_notes();
    const std::string& server() const { return campaign_.server(); }

  private:
    bool asked_lately() const;
    std::string send_outbox();
    std::string outbox_error(const std::string& reason) const;
    void answered(campaign::HandOut got, const std::string& error);

    SharedSettings settings_;
    campaign::VerdictOutbox outbox_;
    campaign::SharedCampaign campaign_;
    std::array<campaign::SharedRecord, core::CHANNEL_COUNT> records_{};
    campaign::HandOut last_ = campaign::HandOut::record;
    std::chrono::steady_clock::time_point asked_{};
    std::chrono::steady_clock::time_point renewed_{};
    int unsent_ = 0;  // verdicts in the outbox that the database may not have
    int in_outbox_ = 0;
    campaign::SharedVerdict kept_;
    bool kept_written_ = false;  // kept_ is in the outbox
    std::vector<std::string> notes_;
};

}  // namespace dialrun
