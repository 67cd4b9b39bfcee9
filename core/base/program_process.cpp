#include "base/program_process.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

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

namespace {

// The code pages the calling console had: a command prompt gets them back at exit, so that
// what runs in it next reads its own text as before.
UINT console_output_cp_before = 0;
UINT console_input_cp_before = 0;

void restore_console_code_pages() {
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

void use_utf8_console() {}

void restore_console() {}

bool shares_console() {
    return false;
}

void release_own_console() {}
#endif

}  // namespace program
