#include "fuzz/fuzz_checks.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "campaign/result_log.h"
#include "campaign/subscriber_list.h"
#include "ringlist/campaign_folder.h"
#include "ringlist/import/csv_table.h"
#include "ringlist/import/number_rules.h"
#include "ringlist/serve/status_file.h"
#include "sim/rack.h"
#include "sound/wav_file.h"

namespace fuzz {

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

std::filesystem::path scratch_file(const char* name) {
    return std::filesystem::temp_directory_path() /
           ("fuzz_" + std::string(name) + "_" + std::to_string(::getpid()));
}

std::string read_back(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

void check_subscriber_list(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path path = scratch_file("ring");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << input;
    std::string expected = input;
    {
        campaign::SubscriberList list;
        std::string error;
        require(list.open(path, error), "the list opens");
        if (list.validate().empty()) {
            uint8_t reply = 0;
            for (campaign::RecordKind kind; (kind = list.read_record()) != campaign::LIST_END;) {
                const std::string& record = list.record_buffer();
                require(record.size() == campaign::RECORD_SIZE, "an accepted record has 20 bytes");
                require(record.substr(18) == "\r\n", "an accepted record ends in CR LF");
                if (kind == campaign::FRESH_RECORD) {
                    long end = list.list_offset();
                    require(list.mark_record(end, reply).empty(), "a mark is written");
                    expected[static_cast<size_t>(end - 3)] = campaign::mark_for_reply(reply);
                    reply = static_cast<uint8_t>((reply + 1) % 4);
                }
            }
        }
    }
    require(read_back(path) == expected, "only the marks of records read have changed");
    std::filesystem::remove(path);
}

void check_rack_file(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    sim::RackParse parsed = sim::parse_rack_text(text, "fuzz.rack");
    if (!parsed.ok) {
        require(parsed.error.rfind("fuzz.rack, строка ", 0) == 0, "an error names the line");
        return;
    }
    sim::Rack rack(parsed.rack);
    size_t fed = 0;
    for (unsigned char byte : text) {
        rack.feed(byte, core::Duration{0});
        if (byte % 7 == 0) {
            rack.hear("c:/wav/x.wav", std::chrono::milliseconds(byte));
        }
        if (++fed == 4096) {
            break;
        }
    }
}

void check_wav_file(const uint8_t* data, size_t size) {
    const std::filesystem::path path = scratch_file("wav");
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    core::WavInfo info;
    std::string reason = core::read_wav_info(path, info);
    std::filesystem::remove(path);
    if (!reason.empty()) {
        return;
    }
    // RIFF header, the format chunk and the data chunk's own header come before the sound.
    require(size >= 12 + 8 + 16 + 8, "a playable file holds its headers");
    require(info.data_bytes > 0, "a playable file has sound");
    require(info.data_bytes <= size - (12 + 8 + 16 + 8), "the sound lies within the file");
    require(info.length.count() >= 0, "the length is not negative");
}

void check_result_log(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (char kind : {'Y', 'N'}) {
        std::vector<ringlist::LogResult> results;
        std::vector<ringlist::LogProblem> problems;
        core::LocalTime changed_at;
        changed_at.year = 2026;
        changed_at.month = 12;
        changed_at.day = 8;
        ringlist::read_log(bytes, "RINGN.txt", kind, changed_at, results, problems);
        size_t lines = 0;
        for (size_t at = 0; at < bytes.size(); ++lines) {
            size_t end = bytes.find("\r\n", at);
            at = end == std::string::npos ? bytes.size() : end + 2;
        }
        require(results.size() + problems.size() >= lines, "every line is a verdict or a problem");
        require(results.size() <= lines, "no verdict is made up");
        require(results.empty() || results.back().year == 2026 || results.back().year == 2025,
                "the last verdict is of the year of the last write or the one before");
        int last_year = 0;  // a year before any the log can hold
        for (const ringlist::LogResult& r : results) {
            const campaign::ResultLine& l = r.line;
            core::LocalTime t;
            t.month = l.month;
            t.day = l.day;
            t.hour = l.hour;
            t.minute = l.minute;
            t.second = l.second;
            std::string again = campaign::result_log_line(l.number, t, l.mark);
            require(bytes.find(again) != std::string::npos, "a verdict is a line of the log");
            require(r.year >= last_year, "years never go back");
            last_year = r.year;
        }
    }
}

void check_csv_import(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ringlist::CsvTable table;
    std::string error = ringlist::read_csv(bytes, std::nullopt, std::nullopt, table);
    require(!error.empty() || !table.rows.empty(), "neither rows nor a refusal");
    int last_line = 0;
    size_t from = 0;
    for (const ringlist::CsvRow& row : table.rows) {
        require(row.line > last_line, "rows out of the file's order");
        last_line = row.line;
        // UTF-16 rows are read from the file's text made UTF-8.
        if (table.encoding != ringlist::Encoding::utf16le) {
            size_t at = bytes.find(row.raw, from);
            require(at != std::string::npos, "a row's bytes that are not the file's");
            from = at + row.raw.size();
        }
        require(!row.fields.empty(), "a row without a field");
        for (const std::string& field : row.fields) {
            std::string number;
            if (ringlist::normalise_number(field, {"99871", "871"}, number) ==
                ringlist::Reject::none) {
                require(number.size() == 7 &&
                            number.find_first_not_of("0123456789") == std::string::npos,
                        "a number that is not seven digits");
            }
            long amount = -1;
            if (ringlist::parse_amount(field, amount) == ringlist::Reject::none) {
                require(amount >= 0 && amount <= 9999999, "an amount out of seven digits");
            }
        }
    }
    // 0x98 is the one byte Windows-1251 leaves undefined.
    if (bytes.find('\x98') == std::string::npos) {
        require(ringlist::utf8_to_cp1251(ringlist::cp1251_to_utf8(bytes)) == bytes,
                "Windows-1251 text changed on its way through UTF-8");
    }
}

void check_status_file(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    nlohmann::json status = ringlist::status_from_bytes(bytes);
    require(status.is_object(), "a status is always an object");
    if (status.contains("unreadable") && status.size() == 1 && status["unreadable"].is_string()) {
        return;  // refused (or a file that says just that, which reads the same)
    }
    require(size <= ringlist::STATUS_FILE_LIMIT, "no status past the size limit");
    require(ringlist::nesting_depth(bytes, ringlist::STATUS_DEPTH_LIMIT) <=
                ringlist::STATUS_DEPTH_LIMIT,
            "no status past the depth limit");
    require(status == nlohmann::json::parse(bytes), "an accepted status is the file's own JSON");
    // The page gets it as text: any bytes in its strings go out without a throw.
    std::string shown = status.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    require(!shown.empty(), "an accepted status is shown");
}

}  // namespace fuzz
