// Golden transcripts, in the manner of gpsd's regression logs: each folder under
// tests/system/regress holds a rack, a console script, the program's command line and, when a run
// starts from files, the folder of drive C:. A run must print the same transcript, send the
// same bytes (the wire trace) and leave the same files as the ones kept in expected/, byte
// for byte. scripts/regress-update writes them anew when a change is meant to alter them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/program_run.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;

namespace {

std::string program_path(const std::string& name) {
    if (name == "dialrun") {
        return DIALRUN_PATH;
    }
    if (name == "pinread") {
        return PINREAD_PATH;
    }
    return name == "inform" ? INFORM_PATH : "";
}

// What one case leaves: its transcript, its wire trace and the files of drive C:.
struct Replay {
    int status = -1;
    std::string transcript;
    std::string trace;
    std::map<std::string, std::string> files;
};

// The case's command line: the program's name, then its own options (--time and the like).
Replay replay(const fs::path& case_dir, const fs::path& work) {
    std::istringstream words(file_bytes(case_dir / "command"));
    std::string program;
    words >> program;
    std::vector<std::string> args{program_path(program),
                                  "--console",
                                  "--simulate",
                                  (case_dir / "rack").string(),
                                  "--fast",
                                  "--root",
                                  "root",
                                  "--trace",
                                  "trace"};
    for (std::string word; words >> word;) {
        args.push_back(word);
    }
    fs::create_directories(work / "root");
    if (fs::is_directory(case_dir / "root")) {
        fs::copy(case_dir / "root", work / "root", fs::copy_options::recursive);
    }
    Outcome o = run(args, file_bytes(case_dir / "input"), {}, {}, false, work.string());
    return {o.status, o.out, file_bytes(work / "trace"), files_under(work / "root")};
}

}  // namespace

TEST(Regress, EveryCaseGivesItsTranscriptTraceAndFilesByteForByte) {
    const bool update = std::getenv("BOARDRACK_REGRESS_UPDATE") != nullptr;
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(REGRESS_DIR)) {
        if (!fs::exists(entry.path() / "command")) {
            continue;
        }
        ++cases;
        const fs::path dir = entry.path();
        SCOPED_TRACE(dir.filename().string());
        TempRoot work;
        Replay r = replay(dir, work.path);
        EXPECT_EQ(r.status, 0);
        const fs::path expected = dir / "expected";
        if (update) {
            fs::remove_all(expected);
            write_file_bytes(expected / "transcript", r.transcript);
            write_file_bytes(expected / "trace", r.trace);
            for (const auto& [name, bytes] : r.files) {
                write_file_bytes(expected / "files" / name, bytes);
            }
            continue;
        }
        EXPECT_EQ(r.transcript, file_bytes(expected / "transcript"));
        EXPECT_EQ(r.trace, file_bytes(expected / "trace"));
        EXPECT_EQ(r.files, files_under(expected / "files"));
    }
    EXPECT_GE(cases, 6) << "the cases under " << REGRESS_DIR;
}
