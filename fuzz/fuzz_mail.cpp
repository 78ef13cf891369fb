// The header and MIME walk of arbitrary mail: the input is one message, loaded and decoded as a
// mail file of its own and as the only message of an mbox (its "From " lines quoted as mboxrd
// writes them), of an MMDF mailbox and of a Babyl file. The container must not matter: the same
// files, in the same states, with the same bytes. Inputs whose text is itself a container's
// framing (Ctrl-A, Ctrl-_ or form feed bytes, an mbox "From " line, a Babyl file's first line,
// a news server's status line) are passed over, as is one without a line end in its first 16 KiB
// (Mac text).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "codec/codec_library.h"
#include "fuzz_support.h"
#include "io/source.h"

namespace {

struct File {
    std::string name;
    int state = 0;
    int rc = 0;
    std::string bytes;
    bool operator==(const File&) const = default;
};

std::string Take(const std::string& path) {
    std::string out = fuzz::Contents(path, false);
    unlink(path.c_str());
    return out;
}

// bare: set when a file took the input's own name (data from the first line on, without any
// framing: only a file of its own is read so).
std::vector<File> Decode(const std::string& text, const std::string& outDir, bool* bare = nullptr) {
    int fd = memfd_create("mail", MFD_CLOEXEC);
    if (fd < 0) abort();
    if (!text.empty() && write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        abort();
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    codec::CodecLibrary lib;
    lib.Initialize();
    lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    lib.SetOption(codec::kOptOverwrite, 1, nullptr);
    lib.SetOption(codec::kOptOutputDir, 0, outDir.c_str());
    if (lib.LoadFile(path.c_str(), nullptr, 0) != codec::kOk) abort();
    std::vector<File> files;
    for (int i = 0; const codec::FileRecord* r = lib.GetFileListItem(i); ++i) {
        File f;
        f.name = r->name ? r->name : "";
        f.state = r->state;
        f.rc = lib.DecodeFile(r, nullptr);
        if (!f.name.empty()) f.bytes = Take(outDir + "/" + f.name);
        if (bare && f.name == std::to_string(fd)) *bare = true;
        files.push_back(std::move(f));
    }
    lib.CleanUp();
    close(fd);
    return files;
}

bool LineStarts(std::string_view text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) == prefix) return true;
    std::string needle = "\n" + std::string(prefix);
    return text.find(needle) != std::string_view::npos;
}

// A line that is an mbox's framing ("From sender date").
bool HasFromLine(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (codec::IsMboxFromLine(line)) return true;
        at = end + 1;
    }
    return false;
}

// mboxrd: a line of any run of ">" and then "From " gains one more ">".
std::string Quoted(std::string_view text) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(at, end - at);
        size_t q = line.find_first_not_of('>');
        if (q != std::string_view::npos && q > 0 && q < 64 && line.substr(q, 5) == "From ")
            out += '>';
        out += line;
        at = end;
    }
    return out;
}

void Print(const char* how, const std::vector<File>& files) {
    fprintf(stderr, "%s:\n", how);
    for (const File& f : files)
        fprintf(stderr, "  '%s' state %d rc %d, %zu bytes\n", f.name.c_str(), f.state, f.rc,
                f.bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string outDir = fuzz::OutputDir();
    std::string mail(reinterpret_cast<const char*>(data), size);
    if (mail.find_first_of(std::string("\x01\x1f\x0c", 3)) != std::string::npos ||
        HasFromLine(mail) || LineStarts(mail, "*** EOOH ***") || mail.substr(0, 2) == "22" ||
        mail.substr(0, 14) == "BABYL OPTIONS:" || mail.substr(0, 3) == "\xEF\xBB\xBF" ||
        mail.substr(0, 16384).find('\n') == std::string::npos)
        return 0;
    if (mail.back() != '\n') mail += '\n';

    bool bare = false;
    const std::vector<File> plain = Decode(mail, outDir, &bare);
    if (bare) return 0;
    const std::pair<const char*, std::string> boxes[] = {
        {"mbox", "From poster@example.org Tue Dec  8 07:35:53 2026\n" + Quoted(mail) + "\n"},
        {"mmdf", "\x01\x01\x01\x01\n" + mail + "\n\x01\x01\x01\x01\n"},
        {"babyl",
         "BABYL OPTIONS: -*- rmail -*-\nVersion: 5\nLabels:\n\x1f\x0c\n0, unseen,,\n"
         "*** EOOH ***\n" +
             mail + "\n\x1f"},
    };
    for (const auto& [how, text] : boxes) {
        std::vector<File> boxed = Decode(text, outDir);
        if (boxed != plain) {
            Print("a mail of its own", plain);
            Print(how, boxed);
            abort();
        }
    }
    return 0;
}
