// Part numbering and file names found in a Subject line: "(3/7)", "[03/10]", "3/7" at the
// end, "part 3 of 7", "3 of 7". The last numbering in the line wins, because posters put a
// file-set count first ("[2/9] - "a.rar" yEnc (3/20)") and the part count last.
#pragma once

#include <string>
#include <string_view>

namespace codec {

struct SubjectInfo {
    int number = 0;         // part number, 0 when the Subject carries none
    int total = 0;          // number of parts, 0 when unknown
    std::string key;        // the Subject without its numbering, "Re:", case and extra blanks
    std::string nameToken;  // a word that looks like a file name, or empty
};

SubjectInfo ParseSubject(std::string_view subject);

}  // namespace codec
