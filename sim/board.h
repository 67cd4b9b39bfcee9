#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/rack_file.h"
#include "time/clock.h"

namespace sim {

// What a board answers to one byte.
struct Reply {
    uint8_t value = 0;
    core::Duration delay{0};  // the board's own time before answering (playing, a message)
    bool late = false;        // comes only after the caller has given up waiting
};

// One phoneme as the board heard it between its two count bytes.
struct Phoneme {
    std::vector<std::string> files;  // what was played meanwhile, normally one file
    core::Duration length{0};
};

struct Section {
    uint8_t code = 0;
    uint8_t count = 0;
    std::vector<Phoneme> phonemes;
    std::optional<std::array<uint8_t, 2>> closing;  // the pair written after the section
};

// One channel board: answers every byte with one reply byte, as the programs expect of the
// real boards. Everything it was sent and recorded can be read back.
class Board {
  public:
    explicit Board(const BoardSetup& setup);

    // A byte while this board is selected, or the select byte that addresses it.
    // now is the rack's clock.
    std::optional<Reply> receive(uint8_t byte, bool is_select, core::Duration now);
    // True when byte, although it looks like a select byte, belongs to the exchange under way
    // (a parameter, a section header, a phoneme count byte, CMD_SET_WAIT).
    bool takes_as_data(uint8_t byte) const;
    bool selected() const { return selected_; }
    // Sound reaching the recording input.
    void hear(const std::string& file, core::Duration length);

    const BoardSetup& setup() const { return setup_; }
    uint8_t mode() const { return mode_; }
    const std::vector<uint8_t>& received() const { return received_; }
    const std::vector<Section>& sections() const { return sections_; }
    const std::vector<std::array<uint8_t, 8>>& numbers() const { return numbers_; }
    const std::vector<std::array<uint8_t, 5>>& clock_settings() const { return clock_settings_; }
    const std::vector<uint8_t>& phrases() const { return phrases_; }
    const std::vector<uint8_t>& modes_written() const { return modes_written_; }
    std::optional<uint8_t> wait_value() const { return wait_value_; }
    int play_all_count() const { return play_all_count_; }
    int callers_served() const { return caller_; }
    // Sound played while no phoneme was being recorded.
    const std::vector<std::string>& unrecorded_sound() const { return unrecorded_sound_; }
    // Anything that did not fit the protocol: an unknown command, a broken upload frame.
    const std::vector<std::string>& anomalies() const { return anomalies_; }

  private:
    enum class Service { none, ring, dtmf, informer, time };
    enum class Call { idle, waiting_ring, dialling, code_ready };
    enum class Upload { off, header_first, header_second, section, recording, between };

    Reply answer(uint8_t byte, bool is_select);
    uint8_t select_reply(uint8_t byte);
    uint8_t line_condition(bool bit7);
    uint8_t dtmf_condition(bool bit7);
    Reply command(uint8_t byte);
    Reply end_of_exchange(uint8_t byte);
    void expect_parameters(uint8_t command, int count);
    void parameter(uint8_t byte);
    Reply upload_byte(uint8_t byte);
    Reply upload_between(uint8_t byte);
    core::Duration play_all_time() const;
    void anomaly(const std::string& what);
    bool silent_at(core::Duration now) const;
    void power_up();

    BoardSetup setup_;
    uint8_t mode_;
    bool selected_ = false;
    Service service_ = Service::none;
    int bytes_ = 0;
    bool silenced_ = false;
    std::vector<uint8_t> received_;

    uint8_t parameter_command_ = 0;
    int parameters_left_ = 0;
    std::vector<uint8_t> parameters_;

    // Ring-round.
    int busy_left_ = 0;
    size_t result_index_ = 0;
    std::vector<std::array<uint8_t, 8>> numbers_;
    std::optional<uint8_t> wait_value_;

    // DTMF reception.
    Call call_ = Call::idle;
    int ring_left_ = 0;
    int dial_left_ = 0;
    int phrase_left_ = 0;
    int digits_left_ = 0;
    int caller_ = 0;
    std::vector<uint8_t> phrases_;

    // Informer and time service.
    size_t message_index_ = 0;
    std::vector<std::array<uint8_t, 5>> clock_settings_;

    // Phoneme memory.
    Upload upload_ = Upload::off;
    uint8_t header_first_ = 0;
    std::vector<Section> sections_;
    Phoneme recording_;
    std::vector<uint8_t> modes_written_;
    int play_all_count_ = 0;
    std::vector<std::string> unrecorded_sound_;
    std::vector<std::string> anomalies_;
};

bool is_select_byte(uint8_t byte);

}  // namespace sim
