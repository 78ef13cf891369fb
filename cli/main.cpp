// tamsel: check, decode and encode the text encodings of news and mail from the shell.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "tamsel.h"

namespace {

volatile std::sig_atomic_t g_cancel = 0;

extern "C" void OnSignal(int) {
    g_cancel = 1;
}

// The error stream when it is not a terminal: buffered, so that a run over thousands of files
// does not make a system call for every note. It is written out at exit.
class BufferedFd : public std::streambuf {
  public:
    explicit BufferedFd(int fd) : m_fd(fd) { setp(m_buffer, m_buffer + sizeof m_buffer); }
    ~BufferedFd() override { sync(); }

  protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        for (char* p = pbase(); p < pptr();) {
            ssize_t w = write(m_fd, p, static_cast<size_t>(pptr() - p));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;  // nowhere to report it: the rest is dropped
            p += w;
        }
        setp(m_buffer, m_buffer + sizeof m_buffer);
        return 0;
    }

  private:
    int m_fd;
    char m_buffer[1 << 16];
};

}  // namespace

int main(int argc, char** argv) {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::vector<std::string> args(argv + 1, argv + argc);
    bool terminal = isatty(STDERR_FILENO) != 0;
    BufferedFd errBuffer(STDERR_FILENO);
    std::ostream bufferedErr(&errBuffer);
    // Written to a terminal, messages show as they come, each after the output before it.
    if (!terminal) std::cerr.tie(nullptr);
    tamsel::Context context{std::cout,    terminal ? std::cerr : bufferedErr, terminal, &g_cancel,
                            STDIN_FILENO, isatty(STDIN_FILENO) != 0};
    int rc = tamsel::Run(args, context);
    std::cout.flush();
    bufferedErr.flush();
    return rc;
}
