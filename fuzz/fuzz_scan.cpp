// Whole-file scan and decode of arbitrary bytes: the input is an in-memory file (memfd), every
// record found is decoded with "decode with errors" on into a private temporary directory,
// which must hold nothing but what the records name afterwards.
#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "codec/codec_library.h"

namespace {

std::string MakeOutputDir() {
    char tmpl[] = "/tmp/tamsel-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    return tmpl;
}

// Empties the directory; every entry must be a file some record named (no temporary left).
void EmptyDir(const std::string& dir, const std::set<std::string>& names) {
    DIR* d = opendir(dir.c_str());
    if (!d) abort();
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (!names.count(n)) abort();
        unlink((dir + "/" + n).c_str());
    }
    closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string outDir = MakeOutputDir();
    int fd = memfd_create("input", MFD_CLOEXEC);
    if (fd < 0) abort();
    if (size && write(fd, data, size) != static_cast<ssize_t>(size)) abort();
    std::string path = "/proc/self/fd/" + std::to_string(fd);

    codec::CodecLibrary lib;
    lib.Initialize();
    lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    lib.SetOption(codec::kOptOverwrite, 1, nullptr);
    lib.SetOption(codec::kOptOutputDir, 0, outDir.c_str());
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
    close(fd);
    EmptyDir(outDir, names);
    return 0;
}
