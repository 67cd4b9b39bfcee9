#pragma once

#include <cstdint>
#include <string>

namespace core {

// Command bytes of the board rack. Every byte sent is answered by one reply byte.
constexpr uint8_t CMD_SELECT = 0x00;       // OR the address 0..7; the reply echoes it in bits 0-2
constexpr uint8_t CMD_SELECT_BIT7 = 0x80;  // Pinread: select and leave the wait for a call
constexpr uint8_t CMD_LINE_STATUS = 0x58;
constexpr uint8_t CMD_STOP_MODE = 0xFE;
constexpr uint8_t CMD_END = 0xFF;
constexpr uint8_t CMD_PLAY_ALL = 0x99;
constexpr uint8_t CMD_RESET_CODER = 0x53;
constexpr uint8_t CMD_SET_MODE = 0x52;
constexpr uint8_t CMD_SET_WAIT = 0x81;
constexpr uint8_t CMD_START = 0x54;
constexpr uint8_t CMD_NUMBER = 0x57;
constexpr uint8_t CMD_RESULT = 0x56;
constexpr uint8_t CMD_WAIT_MESSAGE = 0x56;  // the same byte as CMD_RESULT, in Inform
constexpr uint8_t CMD_START_DTMF = 0x34;
constexpr uint8_t CMD_RECEIVE_PIN = 0x37;
constexpr uint8_t CMD_READ_DIGITS = 0x36;
constexpr uint8_t CMD_PLAY_PHRASE = 0x38;
constexpr uint8_t CMD_HANG_UP = 0x39;
constexpr uint8_t CMD_START_INFORMER = 0x55;
constexpr uint8_t CMD_START_TIME = 0x59;
constexpr uint8_t CMD_SET_CLOCK = 0x51;

// Parameters that follow a command byte.
constexpr uint8_t PIN_DIGIT_COUNT = 0xF4;     // after CMD_RECEIVE_PIN: 0xF0 + 4 digits
constexpr uint8_t PHRASE_BASE = 0xF0;         // after CMD_PLAY_PHRASE: 0xF0 OR phrase 0..15
constexpr uint8_t NUMBER_FIRST_DIGIT = 0xF0;  // CMD_NUMBER payload byte 5: 0xF0 OR digit

// Bits of the reply to CMD_SELECT.
constexpr uint8_t REPLY_ADDRESS_MASK = 0x07;
constexpr uint8_t REPLY_BUSY = 0x08;
constexpr uint8_t REPLY_MODE_MASK = 0x70;
constexpr uint8_t REPLY_CALL = 0x80;  // with REPLY_BUSY during DTMF work: a call in progress

// Bits of the reply to CMD_LINE_STATUS.
constexpr uint8_t LINE_MASK = 0x0C;
constexpr uint8_t LINE_ABSENT = 0x0C;

// Working modes as the select reply shows them (bits 4-6).
constexpr uint8_t MODE_INFORMER = 0x10;
constexpr uint8_t MODE_RING = 0x20;
constexpr uint8_t MODE_TIME = 0x30;
constexpr uint8_t MODE_DTMF = 0x40;

// Mode numbers written after CMD_SET_MODE; the board then reports number * 16.
constexpr uint8_t MODE_NUMBER_INFORMER = 1;
constexpr uint8_t MODE_NUMBER_RING = 2;
constexpr uint8_t MODE_NUMBER_TIME = 3;
constexpr uint8_t MODE_NUMBER_DTMF = 4;

constexpr int CHANNEL_COUNT = 8;

// Two decimal digits in one byte, high then low, as the boards take numbers and times.
constexpr uint8_t bcd(char high, char low) {
    return static_cast<uint8_t>(((high & 0x0F) << 4) | (low & 0x0F));
}

// A channel's number as the log and the operator name it: 1..8 for k 0..7.
inline std::string channel_number(int k) {
    return std::to_string(k + 1);
}

}  // namespace core
