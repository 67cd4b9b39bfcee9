#pragma once

namespace core {

// The operator's buttons, for the front ends. A program answers only its own.
enum class Button { start, stop, upload, informer_upload, time_upload, check, permit };

}  // namespace core
