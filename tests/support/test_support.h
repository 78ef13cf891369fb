// Helpers shared by the test binaries: temporary directories, files, random data, peer tools
// and a library wrapper that records messages.
#pragma once

#include <cstdint>
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

// Splits text into pieces of at most `lines` lines each.
std::vector<std::string> SplitLines(const std::string& text, size_t lines);

}  // namespace test
