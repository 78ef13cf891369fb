// Whole-file scan and decode of arbitrary bytes: the input is an in-memory file (memfd), every
// record found is decoded with "decode with errors" on into a private temporary directory,
// which must hold nothing but what the records name afterwards. It is done twice, the second
// time with decoding during the load (of files from 64 bytes): both must write the same files
// with the same bytes. Then the input is cut into pieces (at line ends or anywhere, in order or
// shuffled), loaded and decoded one call per file and then in one call for all (two threads):
// both must say and write the same.
#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "codec/codec_library.h"
#include "fuzz_support.h"

namespace {

// Empties the directory; every entry must be a file some record named (no temporary left).
// Returns what the files held, by name.
std::map<std::string, std::string> EmptyDir(const std::string& dir,
                                            const std::set<std::string>& names) {
    std::map<std::string, std::string> files;
    DIR* d = opendir(dir.c_str());
    if (!d) abort();
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (!names.count(n)) abort();
        files[n] = fuzz::Contents(dir + "/" + n);
        unlink((dir + "/" + n).c_str());
    }
    closedir(d);
    return files;
}

std::map<std::string, std::string> ScanAndDecode(const std::string& path, const std::string& outDir,
                                                 bool duringLoad) {
    codec::CodecLibrary lib;
    lib.Initialize();
    lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    lib.SetOption(codec::kOptOverwrite, 1, nullptr);
    lib.SetOption(codec::kOptOutputDir, 0, outDir.c_str());
    lib.SetOption(codec::kOptDecodeDuringLoad, duringLoad ? 1 : 0, nullptr);
    if (lib.LoadFile(path.c_str(), nullptr, 0) != codec::kOk) abort();
    // The same input twice: every part is a repeat the second time.
    if (lib.LoadFile(path.c_str(), nullptr, 0) != codec::kOk) abort();
    std::set<std::string> names;
    for (int i = 0; const codec::FileRecord* r = lib.GetFileListItem(i); ++i) {
        if (r->name) names.insert(r->name);
        for (const int32_t* m = r->missingParts; m && *m; ++m) {
            if (*m <= 0) abort();
        }
        if (r->name && (std::strchr(r->name, '/') || !std::strcmp(r->name, ".."))) abort();
        int rc = lib.DecodeFile(r, nullptr);
        if (rc != codec::kOk && rc != codec::kNoData && rc != codec::kNoEnd) abort();
    }
    lib.CleanUp();
    return EmptyDir(outDir, names);
}

// What loading and decoding pieces of the input gave: every result and message, and the files.
struct Outcome {
    std::vector<int> results;
    std::vector<std::string> messages;
    std::map<std::string, std::string> files;
    bool operator==(const Outcome&) const = default;
};

void Print(const char* how, const Outcome& o) {
    fprintf(stderr, "%s:\n  results:", how);
    for (int r : o.results)
        fprintf(stderr, " %d", r);
    for (const std::string& m : o.messages)
        fprintf(stderr, "\n  %s", m.c_str());
    for (const auto& [name, bytes] : o.files)
        fprintf(stderr, "\n  file %s: %zu bytes", name.c_str(), bytes.size());
    fprintf(stderr, "\n");
}

// The pieces loaded and every record decoded one call each, or all in one call (two threads).
Outcome LoadAndDecodePieces(const std::vector<std::string>& paths, const std::string& outDir,
                            bool batch) {
    Outcome o;
    codec::CodecLibrary lib;
    lib.Initialize();
    lib.SetMsgCallback(&o.messages, [](void* opaque, const char* text, int) {
        static_cast<std::vector<std::string>*>(opaque)->push_back(text);
    });
    lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    lib.SetOption(codec::kOptOutputDir, 0, outDir.c_str());
    std::vector<const char*> list;
    for (const std::string& p : paths)
        list.push_back(p.c_str());
    std::vector<int> results(list.size());
    if (batch) {
        if (lib.LoadFiles(list.data(), static_cast<int>(list.size()), results.data()) != 0) abort();
    } else {
        for (size_t i = 0; i < list.size(); ++i)
            results[i] = lib.LoadFile(list[i]);
    }
    o.results = results;
    std::vector<const codec::FileRecord*> records;
    std::set<std::string> names;
    for (int i = 0; const codec::FileRecord* r = lib.GetFileListItem(i); ++i) {
        records.push_back(r);
        if (r->name) names.insert(r->name);
    }
    results.assign(records.size(), 0);
    if (batch) {
        if (lib.DecodeFiles(records.data(), static_cast<int>(records.size()), results.data()) != 0)
            abort();
    } else {
        for (size_t i = 0; i < records.size(); ++i)
            results[i] = lib.DecodeFile(records[i]);
    }
    o.results.insert(o.results.end(), results.begin(), results.end());
    lib.CleanUp();
    o.files = EmptyDir(outDir, names);
    return o;
}

}  // namespace

// Inputs here are small: every file of a few lines is decoded during the load.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TAMSEL_KEEP_FROM", "64", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string outDir = fuzz::OutputDir();
    int fd = memfd_create("input", MFD_CLOEXEC);
    if (fd < 0) abort();
    if (size && write(fd, data, size) != static_cast<ssize_t>(size)) abort();
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (ScanAndDecode(path, outDir, false) != ScanAndDecode(path, outDir, true)) abort();
    close(fd);

    // Nine pieces cut near each ninth: after a line end, in order; anywhere (as split -b cuts
    // a file), in order; and anywhere, in an order the input's last byte chooses. Each set is
    // loaded and decoded one by one and then in one call: the same results, messages and files.
    for (int how = 0; how < 3; ++how) {
        std::vector<int> fds;
        std::vector<std::string> paths;
        for (size_t k = 0, at = 0; k < 9; ++k) {
            size_t end = k == 8 ? size : std::max(at, size * (k + 1) / 9);
            while (how == 0 && end < size && end > 0 && data[end - 1] != '\n')
                ++end;
            int piece = memfd_create("piece", MFD_CLOEXEC);
            if (piece < 0) abort();
            if (end > at && write(piece, data + at, end - at) != static_cast<ssize_t>(end - at))
                abort();
            fds.push_back(piece);
            paths.push_back("/proc/self/fd/" + std::to_string(piece));
            at = end;
        }
        if (how == 2 && size > 0) {
            // A rotation and, on odd bytes, a reversal: every piece ends up first or last.
            std::rotate(paths.begin(), paths.begin() + data[size - 1] % 9, paths.end());
            if (data[size - 1] & 1) std::reverse(paths.begin(), paths.end());
        }
        Outcome one = LoadAndDecodePieces(paths, outDir, false);
        Outcome all = LoadAndDecodePieces(paths, outDir, true);
        if (!(one == all)) {
            Print("one by one", one);
            Print("in one call", all);
            abort();
        }
        for (int piece : fds)
            close(piece);
    }
    return 0;
}
