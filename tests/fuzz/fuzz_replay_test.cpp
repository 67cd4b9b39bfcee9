// The fuzzers' seed corpus (and any crash a fuzzer found and that was added to it) replayed
// on every test run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fuzz/fuzz_checks.h"

namespace {

int replay(const char* folder, void (*check)(const uint8_t*, size_t)) {
    int inputs = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(FUZZ_CORPUS_DIR) / folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        std::string input = bytes.str();
        SCOPED_TRACE(entry.path().string());
        check(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++inputs;
    }
    return inputs;
}

}  // namespace

TEST(FuzzCorpus, SubscriberListsKeepTheirProperties) {
    EXPECT_GE(replay("list", fuzz::check_subscriber_list), 8);
}

TEST(FuzzCorpus, RackFilesKeepTheirProperties) {
    EXPECT_GE(replay("rack", fuzz::check_rack_file), 4);
}

TEST(FuzzCorpus, WavFilesKeepTheirProperties) {
    EXPECT_GE(replay("wav", fuzz::check_wav_file), 9);
}

TEST(FuzzCorpus, BillingCsvFilesKeepTheirProperties) {
    EXPECT_GE(replay("csv", fuzz::check_csv_import), 6);
}

TEST(FuzzCorpus, ResultLogsKeepTheirProperties) {
    EXPECT_GE(replay("log", fuzz::check_result_log), 8);
}

TEST(FuzzCorpus, StatusFilesKeepTheirProperties) {
    EXPECT_GE(replay("status", fuzz::check_status_file), 10);
}
