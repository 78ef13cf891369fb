// The tamsel command-line tool as a library, so tests run its commands in-process with their
// own output streams. main.cpp only turns argv into a call.
#pragma once

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

namespace tamsel {

// Exit statuses beyond the codec's own return codes.
inline constexpr int kExitNotAllReady = 10;
inline constexpr int kExitUsage = 64;

struct Context {
    std::ostream& out;
    std::ostream& err;
    bool progressBar = false;                            // draw progress on err
    const volatile std::sig_atomic_t* cancel = nullptr;  // non-zero: cancel the running call
    int input = 0;                                       // standard input, for "-"
    bool inputIsTerminal = false;  // then it is not read when no FILE is given
};

// Runs one command line (args without the program name). Returns the exit status.
int Run(const std::vector<std::string>& args, Context& context);

}  // namespace tamsel
