// Encoding one file as uuencode, xxencode or Base64, whole or in parts of a number of encoded
// lines. Every output is written under a temporary name and put in place only when all of
// them are complete, so a failure or a cancel leaves nothing behind and no existing file
// harmed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/codec_library.h"

namespace codec {

struct EncodeJob {
    int inputFd = -1;  // open input (not owned)
    uint64_t inputSize = 0;
    EncodeType type = kEncodeUu;
    std::string headerName;  // the name written in the encoded data
    std::string outputName;  // the output file name (whole), or the pattern for parts
    long linesPerPart = 0;   // 0: one file
    std::string extension;   // of part files
    int outputDirFd = -1;    // not owned
    bool overwrite = false;
    unsigned umask = 022;
    std::string id;  // message/partial id, unique per call
};

// A known encode type from a caller's number, or false.
bool ToEncodeType(int type, EncodeType& out);

// The encoding an encode type writes.
Encoding EncodingOf(EncodeType type);

// The names of the files a job writes: outputName itself, or <stem>.001.<ext>, ... with
// three digits (more when needed).
std::vector<std::string> EncodeOutputNames(const EncodeJob& job);

struct EncodeCallbacks {
    // part (from 1), parts, percent of the part; false: cancel.
    std::function<bool(int part, int parts, int percent)> progress;
    std::function<void(int level, const std::string& text)> message;
};

// Returns a library result code: 0, 1 (I/O, with a warning naming the path and reason),
// 7 (a target exists, overwrite off: nothing written) or 9 (canceled: nothing left).
int Encode(const EncodeJob& job, std::vector<uint8_t>& buffer, std::vector<char>& readBuffer,
           const EncodeCallbacks& callbacks);

}  // namespace codec
