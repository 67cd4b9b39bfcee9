#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Properties that must hold for any input; a violation aborts, which a fuzzer reports and a
// test fails on.

// Any bytes as Ring.TXT: a list that is refused stays unchanged; a list that is accepted can
// be read and marked to its end, and marking changes nothing but mark columns.
void check_subscriber_list(const uint8_t* data, size_t size);

// Any bytes as a rack file: an error names the file and the line; a rack that is read
// answers any stream of bus bytes and sound without failing.
void check_rack_file(const uint8_t* data, size_t size);

// Any bytes as a WAV file: the reader refuses it with a reason, or gives a sound whose data
// lies within the file.
void check_wav_file(const uint8_t* data, size_t size);

// Any bytes as RINGY.txt or RINGN.txt: every line is either a verdict, which Dialrun's own
// writer gives back byte for byte, or a problem named with its line; none is lost.
void check_result_log(const uint8_t* data, size_t size);

// Any bytes as a billing system's CSV: the reader refuses it with a reason, or gives rows in
// the file's order whose bytes are the file's; a number taken from any field is seven digits,
// an amount from 0 to 9999999; Windows-1251 text comes back byte for byte through UTF-8.
void check_csv_import(const uint8_t* data, size_t size);

// Any bytes as a program's status file: read without a crash, however deep or long, to an
// object the page can show: the file's own object, or one saying why it is unreadable.
void check_status_file(const uint8_t* data, size_t size);

}  // namespace fuzz
