// What the fuzz targets share: a private output directory and reading back what was written.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A fresh directory under /tmp, made once per target run.
inline std::string OutputDir() {
    char tmpl[] = "/tmp/tamsel-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    return tmpl;
}

// The file's bytes; empty when it cannot be opened and `must` is false (else the run aborts).
inline std::string Contents(const std::string& path, bool must = true) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (must) abort();
        return out;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

}  // namespace fuzz
