// Whole-file scan and decode of arbitrary bytes: the input is an in-memory file (memfd), every
// record found is decoded with "decode with errors" on into a private temporary directory,
// which must hold nothing but what the records name afterwards. It is done twice, the second
// time with decoding during the load: both must write the same files with the same bytes.
#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "codec/codec_library.h"

namespace {

std::string MakeOutputDir() {
    char tmpl[] = "/tmp/tamsel-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    return tmpl;
}

std::string Contents(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) abort();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

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
        files[n] = Contents(dir + "/" + n);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string outDir = MakeOutputDir();
    int fd = memfd_create("input", MFD_CLOEXEC);
    if (fd < 0) abort();
    if (size && write(fd, data, size) != static_cast<ssize_t>(size)) abort();
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (ScanAndDecode(path, outDir, false) != ScanAndDecode(path, outDir, true)) abort();
    close(fd);
    return 0;
}
