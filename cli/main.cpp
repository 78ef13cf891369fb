// tamsel: check, decode and encode the text encodings of news and mail from the shell.
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <iostream>

#include "tamsel.h"

namespace {

volatile std::sig_atomic_t g_cancel = 0;

extern "C" void OnSignal(int) {
    g_cancel = 1;
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::vector<std::string> args(argv + 1, argv + argc);
    tamsel::Context context{std::cout, std::cerr, isatty(STDERR_FILENO) != 0, &g_cancel};
    int rc = tamsel::Run(args, context);
    std::cout.flush();
    return rc;
}
