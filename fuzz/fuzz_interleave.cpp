// Multi-part uuencode posts whose articles arrive in any order, some lost, some twice, in one
// spool or one file per article: the input chooses the posts (sizes, number of parts, Subject
// style), what is lost and the arrival order. Whatever it chooses, a file listed ready decodes
// to the bytes of the post it is named after; never to another's.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codec/codec_library.h"
#include "fuzz_support.h"

namespace {

// uuencode as the standard has it: lines of 45 bytes, "`" for zero, a "`" line and "end".
std::string UuEncode(const std::string& data, const std::string& name) {
    auto enc = [](unsigned v) { return static_cast<char>(v ? (v & 0x3F) + ' ' : '`'); };
    std::string out = "begin 644 " + name + "\n";
    for (size_t at = 0; at < data.size(); at += 45) {
        size_t n = std::min<size_t>(45, data.size() - at);
        out += enc(static_cast<unsigned>(n));
        for (size_t i = 0; i < n; i += 3) {
            unsigned b0 = static_cast<unsigned char>(data[at + i]);
            unsigned b1 = i + 1 < n ? static_cast<unsigned char>(data[at + i + 1]) : 0;
            unsigned b2 = i + 2 < n ? static_cast<unsigned char>(data[at + i + 2]) : 0;
            out += enc(b0 >> 2);
            out += enc(((b0 << 4) | (b1 >> 4)) & 0x3F);
            out += enc(((b1 << 2) | (b2 >> 6)) & 0x3F);
            out += enc(b2 & 0x3F);
        }
        out += '\n';
    }
    return out + "`\nend\n";
}

std::string Subject(int style, const std::string& name, size_t k, size_t n) {
    std::string ks = std::to_string(k), ns = std::to_string(n);
    switch (style) {
        case 0:
            return name + " (" + ks + "/" + ns + ")";
        case 1:
            return "[1/1] - \"" + name + "\" (" + ks + "/" + ns + ")";
        case 2:
            return name + " - Part " + ks + " of " + ns;
        default:
            return name + " {" + ks + "/" + ns + "}";
    }
}

std::string MemFile(const std::string& bytes, std::vector<int>& fds) {
    int fd = memfd_create("article", MFD_CLOEXEC);
    if (fd < 0) abort();
    if (!bytes.empty() &&
        write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        abort();
    fds.push_back(fd);
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    static const std::string outDir = fuzz::OutputDir();
    FuzzedDataProvider fdp(input, size);
    struct Post {
        std::string name, data;
    };
    std::vector<Post> posts;
    std::vector<std::string> articles;
    size_t count = fdp.ConsumeIntegralInRange<size_t>(1, 3);
    for (size_t p = 0; p < count; ++p) {
        Post post{"p" + std::to_string(p) + ".bin", std::string()};
        std::mt19937 rng(fdp.ConsumeIntegral<uint32_t>());
        post.data.resize(fdp.ConsumeIntegralInRange<size_t>(1, 12000));
        for (char& c : post.data)
            c = static_cast<char>(rng());
        std::string text = UuEncode(post.data, post.name);
        std::vector<std::string> lines;
        for (size_t at = 0; at < text.size();) {
            size_t nl = text.find('\n', at);
            lines.push_back(text.substr(at, nl + 1 - at));
            at = nl + 1;
        }
        size_t parts = fdp.ConsumeIntegralInRange<size_t>(1, std::min<size_t>(8, lines.size()));
        int style = fdp.ConsumeIntegralInRange<int>(0, 3);
        size_t per = (lines.size() + parts - 1) / parts;
        parts = (lines.size() + per - 1) / per;
        for (size_t k = 0; k < parts; ++k) {
            int fate = fdp.ConsumeIntegralInRange<int>(0, 9);  // 0: lost, 1: twice
            if (fate == 0) continue;
            std::string body;
            for (size_t i = k * per; i < std::min(lines.size(), (k + 1) * per); ++i)
                body += lines[i];
            std::string article =
                "From: poster@example.org\nNewsgroups: alt.binaries.test\n"
                "Subject: " +
                Subject(style, post.name, k + 1, parts) + "\n\n" + body;
            articles.push_back(article);
            if (fate == 1) articles.push_back(article);
        }
        posts.push_back(std::move(post));
    }
    // The arrival order.
    for (size_t i = articles.size(); i > 1; --i)
        std::swap(articles[i - 1], articles[fdp.ConsumeIntegralInRange<size_t>(0, i - 1)]);
    bool spool = fdp.ConsumeBool();

    std::vector<int> fds;
    std::vector<std::string> paths;
    if (spool) {
        std::string text;
        for (const std::string& a : articles)
            text += "From poster@example.org Tue Dec  8 07:35:53 2026\n" + a + "\n";
        paths.push_back(MemFile(text, fds));
    } else {
        for (const std::string& a : articles)
            paths.push_back(MemFile(a, fds));
    }
    codec::CodecLibrary lib;
    lib.Initialize();
    lib.SetOption(codec::kOptOverwrite, 1, nullptr);
    lib.SetOption(codec::kOptOutputDir, 0, outDir.c_str());
    for (const std::string& p : paths)
        if (lib.LoadFile(p.c_str(), nullptr, 0) != codec::kOk) abort();
    for (int i = 0; const codec::FileRecord* r = lib.GetFileListItem(i); ++i) {
        if (!(r->state & codec::kStateReady) || !r->name) continue;
        std::string name = r->name;
        if (name.size() < 2 || name[0] != 'p' || name[1] < '0' || name[1] >= '0' + int(count))
            abort();  // a ready file is named after a post
        if (lib.DecodeFile(r, nullptr) != codec::kOk) abort();
        std::string path = outDir + "/" + name;
        std::string got = fuzz::Contents(path);
        unlink(path.c_str());
        if (got != posts[static_cast<size_t>(name[1] - '0')].data) {
            fprintf(stderr, "'%s' decoded to %zu bytes that are not its post's\n", name.c_str(),
                    got.size());
            abort();
        }
    }
    lib.CleanUp();
    for (int fd : fds)
        close(fd);
    return 0;
}
