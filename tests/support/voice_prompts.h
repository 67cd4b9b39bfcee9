#pragma once

#include <filesystem>
#include <fstream>

#include "files/drive_paths.h"
#include "sequences/upload_table.h"
#include "sound/wav_file.h"

// Writes every file of an upload under drive C, each a tone of the given length.
inline void write_voice_prompts(const core::DriveC& drive, const station::UploadTable& table,
                                int milliseconds = 400) {
    std::vector<int16_t> samples(static_cast<size_t>(8 * milliseconds));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>((i % 16 < 8) ? 8000 : -8000);
    }
    std::string bytes = core::wav_bytes(8000, samples);
    for (const station::UploadSection& section : table.sections) {
        for (const station::PhonemeFile& file : section.files) {
            std::filesystem::path path = drive.resolve(file.path);
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << bytes;
        }
    }
}
