#pragma once

#include "sequences/upload_table.h"

namespace dialrun {

// Dialrun's 100 phonemes in their binding order: the board knows a phoneme only by its place.
const station::UploadTable& dialrun_upload();

}  // namespace dialrun
