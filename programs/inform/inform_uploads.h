#pragma once

#include "sequences/upload_table.h"

namespace inform {

// "Информатор": the one message c:/wav/Spravka.wav and mode 1.
const station::UploadTable& informer_upload();
// "Время": the 182 day, hour and minute phonemes of c:/Time/ in six sections and mode 3.
const station::UploadTable& time_upload();

}  // namespace inform
