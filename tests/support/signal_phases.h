#pragma once

// The phases of the three programs and the ways a stop signal reaches them: SIGTERM or SIGINT,
// with standard input open or at its end. A program so ended says so, starts no new exchange,
// ends the one in progress as "Стоп" would, exits with 0, and its status file and journal say
// it ended.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dialrun/dialrun_upload.h"
#include "inform/inform_uploads.h"
#include "pinread/pinread_upload.h"
#include "support/program_run.h"
#include "support/temp_root.h"
#include "support/voice_prompts.h"

// Every phoneme of the three programs' uploads under root: 400 ms each, Inform's one message
// 10 s.
inline void write_phonemes(const std::string& root) {
    core::DriveC drive(root);
    for (const station::UploadTable* table :
         {&dialrun::dialrun_upload(), &pinread::pin_mode_upload(), &inform::informer_upload(),
          &inform::time_upload()}) {
        write_voice_prompts(drive, *table, table == &inform::informer_upload() ? 10000 : 400);
    }
}

// The polls the console showed ("log<TAB>Adres K3", a line each) and those the journal kept,
// summed a minute at a time ("Adres K3 ×30").
inline int polls_shown(const std::string& out) {
    int count = 0;
    for (size_t at = 0; (at = ("\n" + out).find("\nlog\tAdres K", at)) != std::string::npos; ++at) {
        ++count;
    }
    return count;
}
inline int polls_kept(const std::string& journal) {
    int count = 0;
    std::istringstream lines(journal);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\tpoll\t") == std::string::npos) {
            continue;
        }
        for (size_t at = 0; (at = line.find("Adres K", at)) != std::string::npos; ++at) {
            if (line.compare(at + 8, 3, " ×") == 0) {
                count += std::atoi(line.c_str() + at + 11);
            }
        }
    }
    return count;
}

// TZ for which the local hour is now `hour`, whatever the machine's zone and time: the stop
// hour and the calling window depend on it.
inline std::string zone_with_local_hour(int hour) {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    int behind = ((utc.tm_hour - hour) % 24 + 24) % 24;  // hours the zone is behind UTC
    if (behind > 12) {
        behind -= 24;
    }
    return "XXX" + std::string(behind < 0 ? "-" : "+") + std::to_string(std::abs(behind));
}

struct SignalPhase {
    const char* program;
    const char* phase;
    std::string rack;
    std::vector<std::string> options;  // after --simulate RACK
    std::string input;                 // console commands before the signal
    std::string reached;               // the output line that says the phase is under way
    std::string ended;                 // the lines that end the exchange in progress
    std::vector<std::string> never;    // lines that a new exchange would print
};

inline std::vector<SignalPhase> signal_phases() {
    const std::vector<std::string> autostart = {"--autostart"};
    std::vector<SignalPhase> phases = {
        // The survey on a real-time rack whose K1..K7 are absent: 2 s a channel.
        {DIALRUN_PATH,
         "survey",
         "K8 ring line\n",
         autostart,
         "",
         "log\tПроверка 1 канала",
         "",
         {"log\tПроверка 8 канала", "row\tK8\t", "Работает прозвонка"}},
        {PINREAD_PATH,
         "survey",
         "K8 dtmf line\n",
         autostart,
         "",
         "log\tПроверка 1 канала",
         "",
         {"log\tПроверка 8 канала", "row\tK8\t", "Работает прием"}},
        {INFORM_PATH,
         "survey",
         "K8 informer line\n",
         autostart,
         "",
         "log\tПроверка 1 канала",
         "",
         {"log\tПроверка 8 канала", "row\tK8\t", "Работает Автоинформатор"}},
        // The phoneme check: the board plays for 4 s.
        {DIALRUN_PATH,
         "check",
         "K1 ring line play-time=4\n",
         {},
         "wait\nK1\ncheck\n",
         "log\t----Контроль Фонем канала---",
         "log\t===Котроль Фонем завершен===",
         {}},
        {PINREAD_PATH,
         "check",
         "K1 dtmf line play-time=4\n",
         {},
         "wait\nK1\ncheck\n",
         "log\t----Контроль Фонем канала---",
         "log\t===Котроль Фонем завершен===",
         {}},
        {INFORM_PATH,
         "check",
         "K1 informer line play-time=4\n",
         {},
         "wait\nK1\ncheck\n",
         "log\t----Контроль Фонем канала---",
         "log\t===Контроль Фонем завершен===",
         {}},
        // Uploads of 400 ms phonemes end after the phoneme in progress; Inform's informer has one
        // of 10 s, and its upload ends whole.
        {DIALRUN_PATH,
         "upload",
         "K1 ring line\n",
         {},
         "wait\nK1\npermit\nupload\n",
         "log\tЗапись Фонем и режима в канал",
         "log\tЗапись прервана: программа завершается\nlog\t===Запись фонем завершена===",
         {"log\tc:/wav/Avtootvet1UZ.wav\n"}},
        {PINREAD_PATH,
         "upload",
         "K1 dtmf line\n",
         {},
         "wait\nK1\npermit\nupload\n",
         "log\tЗапись Фонем и режима PinKod в канал",
         "log\tЗапись прервана: программа завершается\nlog\t===Запись режима PINKOD "
         "завершена===",
         {"log\tc:/PinWav/P15.wav\n"}},
        {INFORM_PATH,
         "upload",
         "K1 informer line\n",
         {},
         "wait\nK1\npermit\ninformer\n",
         "log\tЗапись Фонем и режима в канал",
         "log\t===Запись фонем завершена===",
         {}},
        {INFORM_PATH,
         "time upload",
         "K1 time line\n",
         {},
         "wait\nK1\npermit\ntime\n",
         "log\tЗапись Фонем Времени и режима в канал",
         "log\tЗапись прервана: программа завершается\nlog\t===Запись фонем завершена===",
         {"log\tЗапись  режима времени "}},
        // The runs: Dialrun's calls last a few seconds each, Inform waits 5 s for a message's
        // end (its 59 s wait), Pinread's callers keep coming.
        {DIALRUN_PATH,
         "run",
         "K1 ring line busy=100\nK2 ring line busy=100\n",
         {"--autostart", "--stop-hour", "23"},
         "",
         "log\tAdres K2",
         "log\tОстанов прозвонки",
         {}},
        {PINREAD_PATH,
         "run",
         "K1 dtmf line\n",
         autostart,
         "",
         "log\tAdres K1",
         "log\tОстанов приема DTMF-кодов",
         {}},
        {INFORM_PATH,
         "run",
         "K1 informer line message-time=5\n",
         autostart,
         "",
         "log\tЖдать завершения сообщения",
         "log\tОстанов Автоинформатора",
         {}},
        // Dialrun's pauses: outside the calling window, and waiting for a retry's gap.
        {DIALRUN_PATH,
         "window pause",
         "K1 ring line\n",
         {"--autostart", "--call-start", "9", "--stop-hour", "20"},
         "",
         "log\tПауза до 09:00",
         "log\tОстанов прозвонки",
         {"log\tКонец паузы"}},
        {DIALRUN_PATH,
         "retry pause",
         "K1 ring line results=2\n",
         {"--autostart", "--stop-hour", "23", "--retry", "2", "--retry-gap", "180"},
         "",
         "log\tПауза до ",
         "log\tОстанов прозвонки",
         {"log\tКонец паузы"}},
    };
    // The reconnect wait, after a board stopped answering.
    for (const auto& [program, board] :
         {std::pair{DIALRUN_PATH, "ring"}, {PINREAD_PATH, "dtmf"}, {INFORM_PATH, "informer"}}) {
        phases.push_back({program,
                          "reconnect wait",
                          std::string("K1 ") + board + " line silent-after=20\n",
                          {"--autostart", "--reconnect", "600"},
                          "",
                          "log\tНет связи с платами; новая попытка через 600 с",
                          "log\tВосстановление связи остановлено",
                          {}});
    }
    return phases;
}

// A rack file of text, beside the test's other files.
inline std::string signal_rack_file(const std::string& text) {
    std::string path = temp_path("e2e_signal.rack");
    std::ofstream(path) << text;
    return path;
}

// One phase with one of the four ways a program is signalled: SIGTERM or SIGINT, with
// its standard input still open (a terminal, a service's socket) or at its end.
inline void expect_signalled_end(const SignalPhase& p, int signal, bool input_open) {
    std::string name = std::string(p.program).substr(std::string(p.program).rfind('/') + 1);
    std::string root = temp_path("e2e_signal_" + name);
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string list;
    for (int i = 0; i < 50; ++i) {
        list += std::to_string(4000000 + 111 * i) + "     " + std::to_string(1000 + i) + "  \r\n";
    }
    std::ofstream(root + "/Ring.TXT", std::ios::binary) << list << "\r\n";
    write_phonemes(root);
    // Boards that no engine serves fill the rack, so that the survey is over in a second.
    std::string rack = p.rack;
    for (int k = 1; k <= 8 && std::string(p.phase) != "survey"; ++k) {
        std::string board = "K" + std::to_string(k) + " ";
        rack += rack.find(board) == std::string::npos ? board + "mode=0x50 noline\n" : "";
    }
    std::vector<std::string> args = {
        p.program, "--console",     "--root", root,         "--journal",
        "yes",     "--status-file", "yes",    "--simulate", signal_rack_file(rack)};
    args.insert(args.end(), p.options.begin(), p.options.end());
    int hour = std::string(p.phase) == "window pause" ? 3 : 12;
    std::string zone = zone_with_local_hour(hour);
    SCOPED_TRACE(name + " " + p.phase + (signal == SIGTERM ? " SIGTERM" : " SIGINT") +
                 (input_open ? ", input open" : ", input closed") + ", TZ=" + zone);
    RunningProgram program(args, p.input, input_open, {{"TZ", zone}});
    ASSERT_TRUE(program.wait_for(p.reached)) << program.output;
    size_t reached = program.output.find(p.reached);
    EXPECT_EQ(program.end_with(signal), 0) << program.output;
    const std::string& out = program.output;
    std::string said = std::string("log\tПолучен сигнал ") +
                       (signal == SIGTERM ? "SIGTERM" : "SIGINT") + ": завершение работы\n";
    size_t signalled = out.find(said, reached);
    ASSERT_NE(signalled, std::string::npos) << out;
    if (!p.ended.empty()) {
        EXPECT_NE(out.find(p.ended + "\n", signalled), std::string::npos) << out;
    }
    for (const std::string& line : p.never) {
        EXPECT_EQ(out.find(line, reached), std::string::npos) << line << "\n" << out;
    }
    std::string status = file_bytes(root + "/status-" + name + ".json");
    EXPECT_NE(status.find("\"state\": \"ended\""), std::string::npos) << status;
    EXPECT_NE(status.find(std::string("\"reason\": \"Остановлено сигналом ") +
                          (signal == SIGTERM ? "SIGTERM" : "SIGINT") + "\""),
              std::string::npos)
        << status;
    // The journal ends with the end of the work, and it holds every poll the console showed.
    std::string journal;
    for (const auto& day : std::filesystem::directory_iterator(root + "/journal")) {
        journal += file_bytes(day.path());
    }
    EXPECT_NE(journal.find("\tlog\t" + said.substr(4)), std::string::npos) << journal;
    std::istringstream ended(p.ended);
    for (std::string line; std::getline(ended, line);) {
        EXPECT_NE(journal.find("\tlog\t" + line.substr(4) + "\n"), std::string::npos) << journal;
    }
    EXPECT_EQ(polls_kept(journal), polls_shown(out)) << journal << out;
    std::filesystem::remove_all(root);
}
