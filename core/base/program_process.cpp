#include "base/program_process.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "base/utf8_text.h"
#endif

namespace program {

#ifdef _WIN32
std::vector<std::string> utf8_arguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; wide != nullptr && i < count; ++i) {
        args.push_back(core::from_utf16(wide[i]));
    }
    LocalFree(wide);
    return args;
}

std::string raw_command_line() {
    return core::from_utf16(GetCommandLineW());
}

namespace {

// The code pages the calling console had: a command prompt gets them back at exit, so that
// what runs in it next reads its own text as before.
UINT console_output_cp_before = 0;
UINT console_input_cp_before = 0;

// What the program writes to a console window goes in as UTF-16 (WriteConsoleW), so that it
// reads right whatever the console's code page and font; a pipe or a file gets the UTF-8 bytes
// as they are. A character cut between two writes waits for its last bytes.
class ConsoleText : public std::streambuf {
  public:
    explicit ConsoleText(HANDLE console) : console_(console) {}
    void write_whole() {
        size_t whole = core::utf8_whole_length(pending_);
        std::wstring wide = core::to_utf16(pending_.substr(0, whole));
        pending_.erase(0, whole);
        for (size_t at = 0; at < wide.size();) {
            DWORD written = 0;
            if (!WriteConsoleW(console_, wide.data() + at, static_cast<DWORD>(wide.size() - at),
                               &written, nullptr) ||
                written == 0) {
                return;  // the console is gone: nothing to tell it
            }
            at += written;
        }
    }

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            pending_ += traits_type::to_char_type(c);
            if (c == '\n') {
                write_whole();
            }
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<size_t>(count));
        if (pending_.find('\n') != std::string::npos || pending_.size() > 4096) {
            write_whole();
        }
        return count;
    }
    int sync() override {
        write_whole();
        return 0;
    }

  private:
    HANDLE console_;
    std::string pending_;
};

// Kept to the process's end (never freed): the streams flush into them while it exits.
ConsoleText* console_out = nullptr;
ConsoleText* console_err = nullptr;

// Standard output and error that are a console write to it through ConsoleText.
void write_consoles_wide() {
    DWORD mode = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (console_out == nullptr && GetConsoleMode(out, &mode)) {
        std::fflush(stdout);
        console_out = new ConsoleText(out);
        std::cout.rdbuf(console_out);
    }
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (console_err == nullptr && GetConsoleMode(err, &mode)) {
        std::fflush(stderr);
        console_err = new ConsoleText(err);
        std::cerr.rdbuf(console_err);
    }
}

void restore_console_code_pages() {
    std::cout.flush();
    if (console_output_cp_before != 0) {
        SetConsoleOutputCP(console_output_cp_before);
    }
    if (console_input_cp_before != 0) {
        SetConsoleCP(console_input_cp_before);
    }
}

}  // namespace

void restore_console() {
    restore_console_code_pages();
}

void use_utf8_console() {
    if (console_output_cp_before == 0) {
        console_output_cp_before = GetConsoleOutputCP();
        console_input_cp_before = GetConsoleCP();
        std::atexit(restore_console_code_pages);
    }
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    write_consoles_wide();
}

bool shares_console() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) > 1;
}

void release_own_console() {
    if (!shares_console()) {
        FreeConsole();
    }
}
#else
std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::string raw_command_line() {
    return "";
}

void use_utf8_console() {}

void restore_console() {}

bool shares_console() {
    return false;
}

void release_own_console() {}
#endif

}  // namespace program
