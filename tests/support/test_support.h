// Helpers shared by the test binaries: temporary directories, files, random data, peer tools
// and a library wrapper that records messages.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codec/codec_library.h"

namespace test {

// A fresh directory under $TMPDIR, removed with everything in it at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    // Names of the entries, sorted, without "." and "..".
    std::vector<std::string> List(const std::string& sub = "") const;

  private:
    std::string m_path;
};

std::string RandomBytes(size_t size, uint32_t seed);
void WriteFile(const std::string& path, const std::string& data);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// How many of this process's descriptors are open on files in dir (unnamed ones included).
int OpenFilesIn(const std::string& dir);

// Runs a shell command; returns its exit status (-1 when it did not exit normally).
int Shell(const std::string& command);
// Runs a shell command and returns its standard output.
std::string ShellOutput(const std::string& command);
// Runs a shell command with input as its standard input and returns its standard output:
// how a test feeds its seeded bytes to a peer tool (uuencode, base64, ...).
std::string Filtered(const std::string& input, const std::string& command);
// Runs a Python script (Debian's python3, with its email, mailbox and yenc packages) with
// `args` (already quoted for the shell); returns its exit status.
int RunPython(const TempDir& dir, const std::string& script, const std::string& args);
// Quotes a string for the shell.
std::string Q(const std::string& s);

// A CodecLibrary with its messages recorded and options set up for a test.
struct Library {
    codec::CodecLibrary lib;
    std::vector<std::pair<int, std::string>> messages;

    Library();
    int Load(const std::string& path) { return lib.LoadFile(path.c_str(), nullptr, 0); }
    std::vector<const codec::FileRecord*> Records() const;
    // LoadFiles over paths, and DecodeFiles over records: the call's result, and one result
    // per input in `results`.
    int LoadAll(const std::vector<std::string>& paths, std::vector<int>& results);
    int DecodeAll(const std::vector<const codec::FileRecord*>& records, std::vector<int>& results);
    // The record with this name, or null.
    const codec::FileRecord* Named(const std::string& name) const;
    std::string AllMessages() const;
    void OutputTo(const std::string& dir) { lib.SetOption(codec::kOptOutputDir, 0, dir.c_str()); }
};

// For comparing a load that decodes during the load with one that does not: an empty
// directory dir/out<during> that t decodes into, with decoding during the load set to during.
std::string OutputForDuringLoad(Library& t, const TempDir& dir, int during);

// Splits text into pieces of at most `lines` lines each.
std::vector<std::string> SplitLines(const std::string& text, size_t lines);

// CRC-32 as zlib computes it, and as eight hex digits.
inline uint32_t Crc(const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

inline std::string Hex(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

// A yEnc encoder written from yEnc 1.3.
struct YencEncoder {
    size_t line = 128;
    bool danglingEscapes = false;   // put an escape's '=' at the end of a line, its byte next
    bool escapeDots = true;         // '.' at a line's start (optional in yEnc 1.3)
    bool writeTotal = true;         // total= on =ybegin (optional in yEnc 1.3)
    bool everyPartFileCrc = false;  // crc32= of the whole file on every part's =yend

    // The data lines of `data`: every byte plus 42, NUL, LF, CR and '=' escaped (and TAB or
    // blank at a line's start or end, '.' at its start), lines of about `line` characters.
    std::string Lines(const std::string& data) const {
        std::string out, cur;
        for (size_t i = 0; i < data.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(data[i] + 42);
            bool first = cur.empty();
            bool last = cur.size() + 1 >= line || i + 1 == data.size();
            bool critical = c == 0 || c == '\n' || c == '\r' || c == '=' ||
                            ((first || last) && (c == '\t' || c == ' ')) ||
                            (first && c == '.' && escapeDots);
            if (critical) {
                cur += '=';
                if (danglingEscapes && cur.size() + 1 >= line) {
                    out += cur + "\r\n";
                    cur.clear();
                }
                cur += static_cast<char>(c + 64);
            } else {
                cur += static_cast<char>(c);
            }
            if (cur.size() >= line) {
                out += cur + "\r\n";
                cur.clear();
            }
        }
        if (!cur.empty()) out += cur + "\r\n";
        return out;
    }

    std::string Single(const std::string& data, const std::string& name) const {
        return "=ybegin line=" + std::to_string(line) + " size=" + std::to_string(data.size()) +
               " name=" + name + "\r\n" + Lines(data) +
               "=yend size=" + std::to_string(data.size()) + " crc32=" + Hex(Crc(data)) + "\r\n";
    }

    // Part k (1-based) of n of data, as the body of an article.
    std::string Part(const std::string& data, const std::string& name, size_t k, size_t n) const {
        size_t per = (data.size() + n - 1) / n;
        size_t begin = (k - 1) * per, end = std::min(data.size(), k * per);
        std::string piece = data.substr(begin, end - begin);
        std::string text = "=ybegin part=" + std::to_string(k) +
                           (writeTotal ? " total=" + std::to_string(n) : std::string()) +
                           " line=" + std::to_string(line) +
                           " size=" + std::to_string(data.size()) + " name=" + name +
                           "\r\n=ypart begin=" + std::to_string(begin + 1) +
                           " end=" + std::to_string(end) + "\r\n" + Lines(piece) +
                           "=yend size=" + std::to_string(piece.size()) +
                           " part=" + std::to_string(k) + " pcrc32=" + Hex(Crc(piece));
        if (k == n || everyPartFileCrc) text += " crc32=" + Hex(Crc(data));
        return text + "\r\n";
    }
};

// An xxencoder written from the format's description: 45 bytes a line, the length as an
// alphabet character, groups of three bytes as four characters.
inline std::string XxEncode(const std::string& data, const std::string& name) {
    static const char* kAlphabet =
        "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string out = "begin 644 " + name + "\n";
    for (size_t pos = 0; pos < data.size(); pos += 45) {
        size_t n = std::min<size_t>(45, data.size() - pos);
        out += kAlphabet[n];
        for (size_t i = 0; i < n; i += 3) {
            unsigned char b[3] = {0, 0, 0};
            for (size_t k = 0; k < 3 && i + k < n; ++k)
                b[k] = static_cast<unsigned char>(data[pos + i + k]);
            out += kAlphabet[b[0] >> 2];
            out += kAlphabet[(b[0] & 3) << 4 | b[1] >> 4];
            out += kAlphabet[(b[1] & 15) << 2 | b[2] >> 6];
            out += kAlphabet[b[2] & 63];
        }
        out += '\n';
    }
    return out + "+\nend\n";
}

}  // namespace test
