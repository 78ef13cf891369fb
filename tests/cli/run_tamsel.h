// tamsel's commands run in-process, their output captured.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tamsel.h"

namespace test {

struct Result {
    int status;
    std::string out, err;
};

// input: the descriptor "-" reads (standard input when none is given).
inline Result RunTamsel(std::vector<std::string> args,
                        const volatile std::sig_atomic_t* cancel = nullptr, int input = -1,
                        bool inputIsTerminal = false) {
    std::ostringstream out, err;
    tamsel::Context context{out, err, false, cancel, input, inputIsTerminal};
    int status = tamsel::Run(args, context);
    return {status, out.str(), err.str()};
}

}  // namespace test
