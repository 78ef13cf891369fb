// What the FILE arguments of check and decode stand for: files, standard input ("-"), and
// directories, read as mail folders (a Maildir, an MH folder) or, when asked, walked.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tamsel {

struct InputList {
    std::vector<std::string> files;  // in the order to load; kStandardInput stands for "-"
    int error = 0;                   // the library's code of the first input that cannot be read
};

inline const std::string kStandardInput = "-";

// Warnings go to warn, in the words the library uses for an input it cannot read.
using Warn = std::function<void(const std::string& text)>;

// Expands the arguments in order. A directory is read when it is a mail folder, or with
// recursive (then its subdirectories too): its entries in name order, numbers by their value,
// hidden ones skipped, a symbolic link only when it leads to a file inside the directory given,
// a directory met again (a loop) once. Without recursive any other directory is refused, as is
// a named pipe (which only "-" may read).
InputList GatherInputs(const std::vector<std::string>& args, bool recursive, const Warn& warn);

// Orders names as people do: runs of digits by their value, the rest byte by byte.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace tamsel
