#include "sim/board.h"

#include <cmath>

#include "link/commands.h"

namespace sim {

using namespace core;

namespace {

Duration seconds(double s) {
    return Duration(static_cast<int64_t>(std::llround(s * 1e6)));
}

template <typename T>
T at_or_last(const std::vector<T>& values, size_t index) {
    return values[index < values.size() ? index : values.size() - 1];
}

std::string hex(uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[byte >> 4] + digits[byte & 15];
}

}  // namespace

bool is_select_byte(uint8_t byte) {
    return (byte & 0x78) == 0;  // 0x00-0x07 and, with bit 7, 0x80-0x87
}

Board::Board(const BoardSetup& setup) : setup_(setup), mode_(setup.mode) {}

std::optional<Reply> Board::receive(uint8_t byte, bool is_select, Duration now) {
    if (silent_at(now)) {
        silenced_ = true;
        return std::nullopt;
    }
    if (silenced_) {
        silenced_ = false;
        power_up();
    }
    ++bytes_;
    received_.push_back(byte);
    if (setup_.silent_after && bytes_ > *setup_.silent_after) {
        return std::nullopt;
    }
    Reply reply = answer(byte, is_select);
    reply.late = setup_.late && bytes_ == *setup_.late;
    return reply;
}

bool Board::silent_at(Duration now) const {
    return setup_.silent_between && now >= seconds(setup_.silent_between->first) &&
           now < seconds(setup_.silent_between->second);
}

// What a board forgets when its power comes back: the exchange it was in and its service.
void Board::power_up() {
    selected_ = false;
    service_ = Service::none;
    parameters_left_ = 0;
    busy_left_ = 0;
    call_ = Call::idle;
    digits_left_ = 0;
    upload_ = Upload::off;
}

bool Board::takes_as_data(uint8_t byte) const {
    // To a board on the bus 0x81 is CMD_SET_WAIT; only a board in DTMF work is ever selected
    // with bit 7 (0x80 + address), and it may still be on the bus from its last poll.
    if ((byte & 0x80) != 0 && service_ != Service::dtmf) {
        return true;
    }
    if (parameters_left_ > 0 || upload_ == Upload::header_first ||
        upload_ == Upload::header_second) {
        return true;
    }
    if (upload_ == Upload::section || upload_ == Upload::recording) {
        return byte == sections_.back().count;
    }
    return false;
}

Reply Board::answer(uint8_t byte, bool is_select) {
    if (is_select) {
        return {select_reply(byte)};
    }
    if (parameters_left_ > 0) {
        parameter(byte);
        return {byte};
    }
    if (upload_ != Upload::off) {
        return upload_byte(byte);
    }
    return command(byte);
}

uint8_t Board::select_reply(uint8_t byte) {
    selected_ = true;
    // A select ends whatever exchange was left half done.
    parameters_left_ = 0;
    digits_left_ = 0;
    if (upload_ != Upload::off && upload_ != Upload::between) {
        anomaly("выбор платы посреди записи фонем");
    }
    upload_ = Upload::off;
    uint8_t address = static_cast<uint8_t>(setup_.echo.value_or(setup_.address));
    return static_cast<uint8_t>(mode_ | line_condition((byte & 0x80) != 0) | address);
}

uint8_t Board::line_condition(bool bit7) {
    if (service_ == Service::ring && busy_left_ > 0) {
        --busy_left_;
        return REPLY_BUSY;
    }
    if (service_ == Service::dtmf) {
        return dtmf_condition(bit7);
    }
    return 0;
}

uint8_t Board::dtmf_condition(bool bit7) {
    if (bit7 && (call_ == Call::waiting_ring || call_ == Call::dialling)) {
        call_ = Call::idle;  // asked to leave the wait: ready for the stop phrase
        return 0;
    }
    if (phrase_left_ > 0) {
        --phrase_left_;
        return REPLY_BUSY | REPLY_CALL;
    }
    if (call_ == Call::waiting_ring) {
        if (ring_left_ > 0) {
            --ring_left_;
            return REPLY_BUSY;
        }
        call_ = Call::dialling;
    }
    if (call_ == Call::dialling) {
        if (setup_.dial == DIAL_FOREVER) {
            return REPLY_BUSY | REPLY_CALL;
        }
        if (dial_left_ > 0) {
            --dial_left_;
            return REPLY_BUSY | REPLY_CALL;
        }
        call_ = Call::code_ready;
    }
    return 0;
}

Reply Board::command(uint8_t byte) {
    switch (byte) {
        case CMD_LINE_STATUS:
            return {setup_.line};
        case CMD_STOP_MODE:
            service_ = Service::none;
            call_ = Call::idle;
            busy_left_ = 0;
            phrase_left_ = 0;
            return {byte};
        case CMD_END:
            return end_of_exchange(byte);
        case CMD_PLAY_ALL:
            ++play_all_count_;
            return {byte, play_all_time()};
        case CMD_RESET_CODER:
            sections_.clear();
            upload_ = Upload::header_first;
            return {byte};
        case CMD_START:
            service_ = Service::ring;
            return {byte};
        case CMD_RESULT:  // also CMD_WAIT_MESSAGE: which one depends on the board's work
            if (service_ == Service::ring || (service_ == Service::none && mode_ == MODE_RING)) {
                return {at_or_last(setup_.results, result_index_++)};
            }
            return {at_or_last(setup_.messages, message_index_++), seconds(setup_.message_time)};
        case CMD_START_DTMF:
            service_ = Service::dtmf;
            call_ = Call::idle;
            return {byte};
        case CMD_READ_DIGITS:
            digits_left_ = 4;
            return {byte};
        case CMD_HANG_UP:
            call_ = Call::idle;
            phrase_left_ = 0;
            return {byte};
        case CMD_START_INFORMER:
            service_ = Service::informer;
            return {byte};
        case CMD_START_TIME:
            service_ = Service::time;
            return {byte};
        case CMD_SET_MODE:
        case CMD_SET_WAIT:
        case CMD_RECEIVE_PIN:
        case CMD_PLAY_PHRASE:
            expect_parameters(byte, 1);
            return {byte};
        case CMD_NUMBER:
            expect_parameters(byte, 8);
            return {byte};
        case CMD_SET_CLOCK:
            expect_parameters(byte, 5);
            return {byte};
        default:
            anomaly("неизвестная команда " + hex(byte));
            return {byte};
    }
}

Reply Board::end_of_exchange(uint8_t byte) {
    if (digits_left_ > 0) {
        // After CMD_READ_DIGITS each CMD_END fetches one key code of the caller's PIN.
        std::array<uint8_t, 4> code = at_or_last(setup_.codes, static_cast<size_t>(caller_));
        uint8_t key = code[4 - digits_left_];
        if (--digits_left_ == 0) {
            ++caller_;
            call_ = Call::idle;
        }
        return {key};
    }
    selected_ = false;
    return {byte};
}

void Board::expect_parameters(uint8_t command, int count) {
    parameter_command_ = command;
    parameters_left_ = count;
    parameters_.clear();
}

void Board::parameter(uint8_t byte) {
    parameters_.push_back(byte);
    if (--parameters_left_ > 0) {
        return;
    }
    switch (parameter_command_) {
        case CMD_SET_MODE:
            mode_ = static_cast<uint8_t>((byte & 0x07) << 4);
            modes_written_.push_back(byte);
            break;
        case CMD_SET_WAIT:
            wait_value_ = byte;
            break;
        case CMD_RECEIVE_PIN:
            call_ = Call::waiting_ring;
            ring_left_ = setup_.ring;
            dial_left_ = setup_.dial;
            break;
        case CMD_PLAY_PHRASE:
            phrases_.push_back(byte);
            phrase_left_ = setup_.phrase;
            break;
        case CMD_NUMBER: {
            std::array<uint8_t, 8> number{};
            std::copy(parameters_.begin(), parameters_.end(), number.begin());
            numbers_.push_back(number);
            busy_left_ = setup_.busy;
            break;
        }
        case CMD_SET_CLOCK: {
            std::array<uint8_t, 5> setting{};
            std::copy(parameters_.begin(), parameters_.end(), setting.begin());
            clock_settings_.push_back(setting);
            break;
        }
        default:
            break;
    }
}

// After CMD_RESET_CODER: section headers (code, count), each phoneme framed by the count
// byte, optional closing pairs, then CMD_SET_MODE or CMD_END. A closing pair looks like a
// header until the byte after it turns out not to be the count byte.
Reply Board::upload_byte(uint8_t byte) {
    switch (upload_) {
        case Upload::header_first:
            header_first_ = byte;
            upload_ = Upload::header_second;
            return {byte};
        case Upload::header_second:
            sections_.push_back(Section{header_first_, byte, {}, {}});
            upload_ = Upload::section;
            return {byte};
        case Upload::section: {
            Section& section = sections_.back();
            if (byte == section.count && section.phonemes.size() < section.count) {
                recording_ = Phoneme{};
                upload_ = Upload::recording;
                return {byte};
            }
            if (section.phonemes.empty() && sections_.size() > 1) {
                std::array<uint8_t, 2> pair{section.code, section.count};
                sections_.pop_back();
                sections_.back().closing = pair;
                return upload_between(byte);
            }
            anomaly("ожидался байт счета " + hex(section.count) + ", получен " + hex(byte));
            upload_ = Upload::off;
            return command(byte);
        }
        case Upload::recording: {
            Section& section = sections_.back();
            if (byte != section.count) {
                anomaly("запись фонемы прервана байтом " + hex(byte));
                upload_ = Upload::off;
                return command(byte);
            }
            section.phonemes.push_back(recording_);
            upload_ = section.phonemes.size() == section.count ? Upload::between : Upload::section;
            return {byte};
        }
        case Upload::between:
            return upload_between(byte);
        case Upload::off:
            break;
    }
    return command(byte);
}

Reply Board::upload_between(uint8_t byte) {
    if (byte == CMD_SET_MODE || byte == CMD_END) {
        upload_ = Upload::off;
        return command(byte);
    }
    upload_ = Upload::header_first;
    return upload_byte(byte);
}

void Board::hear(const std::string& file, Duration length) {
    if (upload_ != Upload::recording) {
        unrecorded_sound_.push_back(file);
        return;
    }
    recording_.files.push_back(file);
    recording_.length += length;
}

Duration Board::play_all_time() const {
    if (setup_.play_time) {
        return seconds(*setup_.play_time);
    }
    Duration total{0};
    for (const Section& section : sections_) {
        for (const Phoneme& p : section.phonemes) {
            total += p.length;
        }
    }
    return total > Duration{0} ? total : std::chrono::seconds(1);
}

void Board::anomaly(const std::string& what) {
    anomalies_.push_back(what);
}

}  // namespace sim
