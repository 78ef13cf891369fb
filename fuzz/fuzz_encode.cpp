// Encoding arbitrary bytes, whole or in parts, and decoding the result back must give the same
// bytes. The first two input bytes choose the encoding and the lines per part.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "codec/codec_library.h"

namespace {

std::string MakeDir() {
    char tmpl[] = "/tmp/tamsel-fuzz-encode-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    return tmpl;
}

std::vector<std::string> List(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    return names;
}

void Empty(const std::string& dir) {
    for (const std::string& n : List(dir))
        unlink((dir + "/" + n).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string work = MakeDir();
    static const std::string in = work + "/in", out = work + "/out", back = work + "/back";
    static const bool made = (mkdir(out.c_str(), 0700), mkdir(back.c_str(), 0700), true);
    (void)made;
    if (size < 2) return 0;
    int type = data[0] % 4 + 1;  // uu, Base64, xx, yEnc
    long lines = data[1] % 8 == 0 ? 0 : data[1] % 8;
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(data + 2), static_cast<std::streamsize>(size - 2));
    }
    Empty(out);
    Empty(back);
    codec::CodecLibrary lib;
    lib.Initialize();
    lib.SetOption(codec::kOptOutputDir, 0, out.c_str());
    if (lib.EncodeToFile(nullptr, in.c_str(), type, "data.bin", "enc.txt", lines) != 0) abort();
    codec::CodecLibrary dec;
    dec.Initialize();
    for (const std::string& n : List(out))
        if (dec.LoadFile((out + "/" + n).c_str(), nullptr, 0) != 0) abort();
    const codec::FileRecord* r = dec.GetFileListItem(0);
    if (!r || dec.GetFileListItem(1) || !(r->state & codec::kStateReady)) abort();
    dec.SetOption(codec::kOptOutputDir, 0, back.c_str());
    if (dec.DecodeFile(r, nullptr) != 0) abort();
    std::ifstream f(back + "/data.bin", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    if (ss.str() != std::string(reinterpret_cast<const char*>(data + 2), size - 2)) abort();
    return 0;
}
