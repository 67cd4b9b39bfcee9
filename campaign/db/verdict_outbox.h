#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "campaign/db/shared_campaign.h"

namespace campaign {

// Verdicts on their way to the campaign database, kept on the rack's own disk: each is
// appended and synced before the database is asked, so that a lost connection, a kill or a
// power cut loses none; they are sent again (each counts once, by its record and call) until
// the database has them all, and the file is emptied then.
class VerdictOutbox {
  public:
    // mode: a new file's, the list's (it holds numbers' records).
    VerdictOutbox(std::filesystem::path path, unsigned mode)
        : path_(std::move(path)), mode_(mode) {}

    // Appended and on the disk. Returns "" or the system's reason.
    std::string add(const SharedVerdict& verdict);
    // What the file holds, in order; a line torn by a kill is passed over. Returns "" or why
    // the file cannot be read (none is no file).
    std::string load(std::vector<SharedVerdict>& verdicts) const;
    // Every verdict sent: an empty file in its place, in one step (made where there was none,
    // so that a drive C: the rack cannot write is found before any call).
    std::string clear();

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    unsigned mode_;
};

// A verdict's line: "RECORD_ID<TAB>ATTEMPT<TAB>MARK<TAB>YYYY-MM-DD hh:mm:ss<TAB>UTC<TAB>CHANNEL
// <TAB>NUMBER\n"; the number lets the database refuse a line that is not its record's.
std::string outbox_line(const SharedVerdict& verdict);
// False for a line that is not one (torn, or not ours).
bool parse_outbox_line(const std::string& line, SharedVerdict& verdict);

}  // namespace campaign
