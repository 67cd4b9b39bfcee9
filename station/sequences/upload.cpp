#include "sequences/upload.h"

#include "link/commands.h"
#include "sequences/board_select.h"
#include "sequences/exchange.h"
#include "sound/wav_file.h"

namespace station {

namespace {

constexpr size_t FILES_NAMED = 3;
const char* const UPLOAD_STOPPED = "Запись прервана: программа завершается";

class Upload {
  public:
    Upload(ProgramState& s, const UploadTable& t, core::Sound& sound, int channel)
        : s_(s), t_(t), sound_(sound), channel_(channel) {}

    bool run() {
        return select() && step(t_.reset_line, core::CMD_RESET_CODER) && sections() &&
               step(t_.mode_line, core::CMD_SET_MODE) && exchange(t_.mode_number) && release();
    }

  private:
    bool select() {
        log(t_.connect_line);
        // Whole sleeps: the phrases play between the uploads' bytes.
        Echo echo =
            select_and_check_echo(s_, channel_, static_cast<uint8_t>(core::CMD_SELECT | channel_),
                                  {t_.select_pause, t_.select_pause, PauseKind::whole_sleep});
        if (echo == Echo::own_address) {
            return true;
        }
        const char* failure = echo == Echo::silent ? "Тайм-Аут" : "Ошибка Адреса";
        t_.select_failure_selected ? s_.log.add(failure) : s_.log.add_unselected(failure);
        return false;
    }

    bool exchange(uint8_t byte) { return station::exchange(s_, byte, std::nullopt, "Тайм-Аут"); }

    bool step(const std::string& line, uint8_t byte) {
        log(line);
        return exchange(byte);
    }

    bool sections() {
        bool first = true;
        for (size_t i = 0; i < t_.sections.size(); ++i) {
            const UploadSection& section = t_.sections[i];
            if (s_.ending) {
                return stop();  // the program is ending: the turn ends as after a failure
            }
            if (i > 0) {
                s_.clock.sleep_for(t_.section_pause);
            }
            log(section.title);
            if (!exchange(section.code) || !exchange(section.count)) {
                return false;
            }
            for (const PhonemeFile& file : section.files) {
                if (s_.ending) {
                    return stop();
                }
                s_.service.alive();
                if (first || !t_.pause_before_first_only) {
                    s_.clock.sleep_for(t_.phoneme_pause);
                }
                first = false;
                log(file.log_line);
                if (!record_phoneme(file, section.count)) {
                    return false;
                }
            }
            if (section.closing &&
                (!exchange((*section.closing)[0]) || !exchange((*section.closing)[1]))) {
                return false;
            }
        }
        return true;
    }

    // The count byte opens the board's recording, the file plays, the count byte closes it.
    bool record_phoneme(const PhonemeFile& file, uint8_t count) {
        if (!exchange(count)) {
            return false;
        }
        if (core::WireTrace* trace = s_.link.trace()) {
            trace->play(file.path);
        }
        std::string error = sound_.play(s_.drive.resolve(file.path), file.path);
        if (!error.empty()) {
            s_.log.add_unselected("Ошибка звука " + file.path + ": " + error);
            return false;
        }
        return exchange(count);
    }

    // Said as a failure is said, so that the log never shows a cut upload as a whole one.
    bool stop() {
        s_.log.add_unselected(UPLOAD_STOPPED);
        return false;
    }

    bool release() {
        s_.clock.sleep_for(t_.release_pause);
        return step(t_.release_line, core::CMD_END);
    }

    void log(const std::string& line) {
        if (!line.empty()) {
            s_.log.add(line);
        }
    }

    ProgramState& s_;
    const UploadTable& t_;
    core::Sound& sound_;
    int channel_;
};

}  // namespace

std::string check_upload_files(const UploadTable& table, const core::DriveC& drive,
                               core::Sound& sound) {
    std::string output = sound.output_problem();
    if (!output.empty()) {
        return "Нет вывода звука: " + output;
    }
    std::vector<std::string> faults;
    for (const UploadSection& section : table.sections) {
        for (const PhonemeFile& file : section.files) {
            core::WavInfo info;
            std::string error = core::read_wav_info(drive.resolve(file.path), info);
            if (!error.empty()) {
                faults.push_back(file.path + ": " + error);
            }
        }
    }
    if (faults.empty()) {
        return {};
    }
    std::string text = "Запись невозможна, не звучат файлы:";
    for (size_t i = 0; i < faults.size() && i < FILES_NAMED; ++i) {
        text += "\n" + faults[i];
    }
    if (faults.size() > FILES_NAMED) {
        text += "\nи еще " + std::to_string(faults.size() - FILES_NAMED);
    }
    return text;
}

void run_upload(ProgramState& s, const UploadTable& table, core::Sound& sound, FormMessages& form,
                int channel) {
    s.log.add(table.title_line);
    s.log.add("Adrec K" + core::channel_number(channel));
    Upload(s, table, sound, channel).run();
    s.log.add(table.end_line);
    form.end_turn(LINK_FREE, FORM_IDLE);
}

}  // namespace station
