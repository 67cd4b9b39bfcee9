#pragma once

#include "sequences/upload_table.h"

namespace pinread {

// The sixteen phrases P0..P15 (phrase n speaks key code n; P0 also ends a call) and mode 4.
const station::UploadTable& pin_mode_upload();

}  // namespace pinread
