#pragma once

#include <string>

#include "form/form_messages.h"
#include "sequences/upload_table.h"
#include "sound/sound.h"
#include "state/program_state.h"

namespace station {

// Every file an upload will play, checked before anything is sent: "" when all can be played
// and there is sound output, else the message naming what cannot (the first few files).
std::string check_upload_files(const UploadTable& table, const core::DriveC& drive,
                               core::Sound& sound);

// One upload into the board of channel: select it, reset its coder, record the sections,
// write the mode and release it. Any missing reply, wrong echo or file that fails to play
// ends it early; the end line and the idle state come either way.
void run_upload(ProgramState& s, const UploadTable& table, core::Sound& sound, FormMessages& form,
                int channel);

}  // namespace station
