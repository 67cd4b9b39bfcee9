#pragma once

#include <string>
#include <vector>

namespace program {

// The arguments as UTF-8: on Windows read as UTF-16 from the command line, since argv there
// is in the ANSI code page.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Windows: the command line as the process was given it, before any quote or backslash is
// read (UTF-8). Elsewhere "": the arguments arrive apart and need no unquoting.
std::string raw_command_line();

// Windows: what the program writes to std::cout and std::cerr reaches a console window as
// UTF-16 (WriteConsoleW), and to a pipe or a file as UTF-8; the console gets its own code
// pages back at exit. Elsewhere nothing to do.
void use_utf8_console();
// Gives the console its code pages back now: for an exit that skips the usual ends (_Exit).
void restore_console();

// Windows: true when the program was started from a command prompt, whose console it shares:
// a refusal there goes to standard error only, not into a box that waits for OK. Elsewhere
// false.
bool shares_console();

// Windows: a program of the console subsystem started from Explorer gets a console of its
// own; the window lets it go, so no black window is left behind. A console it shares with a
// command prompt stays.
void release_own_console();

}  // namespace program
