#pragma once

#include <memory>
#include <string>

#include "app/program_options.h"
#include "files/drive_paths.h"
#include "state/journal.h"

namespace program {

// The journal that --journal asks for, its folder made where it is not there; null for "no",
// and null with error set when the folder cannot be made. Its files get the mode of the
// subscriber list where there is one (0640 elsewhere): they name the channels' work.
std::unique_ptr<station::Journal> open_journal(const ProgramOptions& options,
                                               const std::string& program, const core::Clock& clock,
                                               const station::JournalRules& rules,
                                               const core::DriveC& drive, std::string& error);

// The settings in force, a line each, as the day's first account of the run.
void journal_settings(station::Journal& journal, const Settings& in_force);

}  // namespace program
