// The tamsel commands. Each sits in one table with its usage line, and --help is printed from
// that table. Commands only drive CodecLibrary and print what it reports: no scanning, naming
// or state rule lives here.
#include "tamsel.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/codec_library.h"
#include "json.h"

namespace tamsel {

namespace {

using codec::CodecLibrary;
using codec::FileRecord;

struct Options {
    bool json = false;
    bool overwrite = false;
    bool ignoreErrors = false;
    std::string dir;
    std::string type = "uu";
    long lines = 0;
    std::vector<std::string> files;
};

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(const Options&, Context&);
    const char* flags;  // the options the command accepts, space separated
};

int RunCheck(const Options& options, Context& context);
int RunDecode(const Options& options, Context& context);
int RunEncode(const Options& options, Context& context);

constexpr Command kCommands[] = {
    {"check", "tamsel check [--json] FILE...",
     "list the files the inputs will produce and what is wrong with each", RunCheck, "--json"},
    {"decode", "tamsel decode [-d DIR] [--overwrite] [--ignore-errors] FILE...",
     "decode every ready file into DIR (default: the current directory)", RunDecode,
     "-d --overwrite --ignore-errors"},
    {"encode", "tamsel encode [-t uu|xx|b64] [-l LINES] [--overwrite] [-d DIR] INPUT OUTPUT",
     "encode INPUT as OUTPUT, or in parts of LINES encoded lines named after it", RunEncode,
     "-t -l -d --overwrite"},
};

void PrintHelp(std::ostream& out) {
    out << "Usage:\n";
    for (const Command& c : kCommands)
        out << "  " << c.usage << "\n";
    out << "\nCommands:\n";
    for (const Command& c : kCommands)
        out << "  " << c.name << "\t" << c.summary << "\n";
    out << "\nExit status: 0 all fine; the library's code of the first failure (1 I/O error,\n"
           "2 out of memory, 3 internal error, 4 no encoded data, 5 no end line, 7 target\n"
           "exists, 9 canceled); 4 when nothing was found; 10 when some files were not\n"
           "ready; 64 for a usage error.\n";
}

int Usage(Context& context, const std::string& problem) {
    context.err << "tamsel: " << problem << "\n";
    for (const Command& c : kCommands)
        context.err << "usage: " << c.usage << "\n";
    return kExitUsage;
}

const char* LevelWord(int level) {
    switch (level) {
        case codec::kLevelNote:
            return "note";
        case codec::kLevelWarning:
            return "warning";
        case codec::kLevelError:
            return "error";
        case codec::kLevelFatal:
            return "fatal";
        case codec::kLevelPanic:
            return "panic";
        default:
            return "info";
    }
}

struct Session {
    CodecLibrary library;
    Context& context;
    bool barShown = false;

    explicit Session(Context& c) : context(c) {
        library.Initialize();
        library.SetMsgCallback(this, &Session::OnMessage);
        // Every 10 ms: Ctrl-C is answered at once even when a large file decodes in a blink.
        library.SetBusyCallback(this, &Session::OnBusy, 10);
    }

    void ClearBar() {
        if (barShown) context.err << "\r\033[K" << std::flush;
        barShown = false;
    }

    static void OnMessage(void* opaque, const char* text, int level) {
        auto* s = static_cast<Session*>(opaque);
        s->ClearBar();
        // One write per message: the error stream is unbuffered.
        s->context.err << (std::string("tamsel: ") + LevelWord(level) + ": " + text + "\n");
    }

    static int OnBusy(void* opaque, const codec::Progress* p) {
        auto* s = static_cast<Session*>(opaque);
        if (s->context.cancel && *s->context.cancel) return 1;
        if (s->context.progressBar) {
            int pct = p->percent;
            if (p->parts > 1) pct = ((p->part - 1) * 100 + p->percent) / p->parts;
            const char* what = p->action == codec::kActionScanning   ? "scanning"
                               : p->action == codec::kActionEncoding ? "encoding"
                                                                     : "decoding";
            char bar[21];
            int filled = pct / 5;
            for (int i = 0; i < 20; ++i)
                bar[i] = i < filled ? '#' : '.';
            bar[20] = '\0';
            s->context.err << "\r\033[K[" << bar << "] " << pct << "% " << what << " "
                           << p->currentFile << std::flush;
            s->barShown = true;
        }
        return 0;
    }

    // Loads every input in order. Returns the first failure (0 when none); a cancel stops.
    int LoadAll(const std::vector<std::string>& files) {
        std::vector<const char*> paths;
        for (const std::string& f : files)
            paths.push_back(f.c_str());
        std::vector<int> results(paths.size());
        int rc = library.LoadFiles(paths.data(), static_cast<int>(paths.size()), results.data());
        ClearBar();
        if (rc == codec::kCanceled) {
            context.err << "tamsel: canceled\n";
            return rc;
        }
        for (int r : results)
            if (r != 0) return r;
        return rc;
    }
};

std::string StateWord(uint32_t state) {
    if (state & codec::kStateFailed) return "failed";
    if (state & codec::kStateReady) return "ready";
    if (state & codec::kStateNoData) return "no-data";
    if (state & codec::kStateChecksum) return "checksum";
    if (state & codec::kStateOrderUnknown) return "unordered";
    if (state & codec::kStateMissingParts) return "missing";
    if (state & codec::kStateNoBegin) return "no-begin";
    if (state & codec::kStateNoEnd) return "no-end";
    return "?";
}

void PrintJson(CodecLibrary& library, std::ostream& out) {
    static constexpr struct {
        uint32_t bit;
        const char* word;
    } kFlags[] = {{codec::kStateMissingParts, "missing-parts"},
                  {codec::kStateNoBegin, "no-begin"},
                  {codec::kStateNoEnd, "no-end"},
                  {codec::kStateNoData, "no-data"},
                  {codec::kStateReady, "ready"},
                  {codec::kStateFailed, "failed"},
                  {codec::kStateChecksum, "bad-checksum"},
                  {codec::kStateOrderUnknown, "order-unknown"}};
    out << "[";
    for (int i = 0; const FileRecord* r = library.GetFileListItem(i); ++i) {
        out << (i ? ",\n " : "\n ") << "{\"index\":" << i
            << ",\"name\":" << (r->name ? JsonString(r->name) : std::string("null"))
            << ",\"size\":" << r->size << ",\"encoding\":\"" << codec::EncodingName(r->encoding)
            << "\",\"flags\":[";
        bool first = true;
        for (const auto& f : kFlags) {
            if (!(r->state & f.bit)) continue;
            out << (first ? "" : ",") << '"' << f.word << '"';
            first = false;
        }
        out << "],\"missing_parts\":[";
        if (r->state & codec::kStateMissingParts) {
            for (const int32_t* p = r->missingParts; p && *p; ++p)
                out << (p == r->missingParts ? "" : ",") << *p;
        }
        out << "]}";
    }
    out << "\n]\n";
}

void PrintTable(CodecLibrary& library, std::ostream& out) {
    char line[64];
    std::snprintf(line, sizeof line, "%-4s %-9s %-7s %12s  ", "#", "STATE", "CODE", "SIZE");
    out << line << "NAME\n";
    for (int i = 0; const FileRecord* r = library.GetFileListItem(i); ++i) {
        std::snprintf(line, sizeof line, "%-4d %-9s %-7s %12d  ", i, StateWord(r->state).c_str(),
                      codec::EncodingName(r->encoding), r->size);
        out << line << (r->name ? r->name : "No FileName Found") << "\n";
        if (r->state & codec::kStateReady) continue;
        for (const std::string& text : codec::DescribeState(*r))
            out << "       " << text << "\n";
    }
}

// Exit status once loading went through: nothing found, some not ready, or all fine.
int Outcome(CodecLibrary& library) {
    if (!library.GetFileListItem(0)) return codec::kNoData;
    for (int i = 0; const FileRecord* r = library.GetFileListItem(i); ++i)
        if (!(r->state & codec::kStateReady)) return kExitNotAllReady;
    return 0;
}

int RunCheck(const Options& options, Context& context) {
    Session session(context);
    int rc = session.LoadAll(options.files);
    if (rc == codec::kCanceled) return rc;
    if (options.json)
        PrintJson(session.library, context.out);
    else
        PrintTable(session.library, context.out);
    return rc != 0 ? rc : Outcome(session.library);
}

int RunDecode(const Options& options, Context& context) {
    Session session(context);
    CodecLibrary& library = session.library;
    std::string dir = options.dir.empty() ? "." : options.dir;
    library.SetOption(codec::kOptOutputDir, 0, dir.c_str());
    library.SetOption(codec::kOptDecodeWithErrors, options.ignoreErrors ? 1 : 0, nullptr);
    library.SetOption(codec::kOptOverwrite, options.overwrite ? 1 : 0, nullptr);
    // Everything ready is decoded next: large files may be written while they are checked.
    library.SetOption(codec::kOptDecodeDuringLoad, 1, nullptr);
    int rc = session.LoadAll(options.files);
    if (rc == codec::kCanceled) return rc;
    int first = rc;
    bool skipped = false;
    std::vector<const FileRecord*> ready;
    for (int i = 0; const FileRecord* r = library.GetFileListItem(i); ++i) {
        if (r->state & codec::kStateReady) {
            ready.push_back(r);
            continue;
        }
        skipped = true;
        context.err << "tamsel: skipped "
                    << (r->name ? std::string("'") + r->name + "'" : "a file without a name");
        for (const std::string& text : codec::DescribeState(*r))
            context.err << "\n    " << text;
        context.err << "\n";
    }
    std::vector<std::string> names;  // as they are before decoding
    for (const FileRecord* r : ready)
        names.emplace_back(r->name);
    std::vector<int> results(ready.size());
    int batch = library.DecodeFiles(ready.data(), static_cast<int>(ready.size()), results.data());
    session.ClearBar();
    for (size_t i = 0; i < ready.size(); ++i) {
        if (results[i] == 0) context.out << names[i] << "\n";
        if (results[i] != 0 && results[i] != codec::kCanceled && first == 0) first = results[i];
    }
    if (batch == codec::kCanceled) {
        context.err << "tamsel: canceled\n";
        return batch;
    }
    if (batch != 0 && first == 0) first = batch;
    if (first != 0) return first;
    if (!library.GetFileListItem(0)) return codec::kNoData;
    return skipped ? kExitNotAllReady : 0;
}

int RunEncode(const Options& options, Context& context) {
    if (options.files.size() != 2) return Usage(context, "encode takes INPUT and OUTPUT");
    int type = options.type == "uu"    ? codec::kEncodeUu
               : options.type == "xx"  ? codec::kEncodeXx
               : options.type == "b64" ? codec::kEncodeBase64
                                       : 0;
    if (type == 0) return Usage(context, "-t takes uu, xx or b64");
    const std::string& output = options.files[1];
    size_t slash = output.rfind('/');
    std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    std::string dir = !options.dir.empty()         ? options.dir
                      : slash == std::string::npos ? std::string(".")
                      : slash == 0                 ? std::string("/")
                                                   : output.substr(0, slash);
    if (name.empty()) return Usage(context, "OUTPUT names no file");
    size_t dot = name.rfind('.');
    std::string extension =
        dot != std::string::npos && dot > 0 && dot + 1 < name.size() ? name.substr(dot + 1) : "uue";
    Session session(context);
    codec::CodecLibrary& library = session.library;
    library.SetOption(codec::kOptEncodedExt, 0, extension.c_str());
    library.SetOption(codec::kOptOverwrite, options.overwrite ? 1 : 0, nullptr);
    library.SetOption(codec::kOptOutputDir, 0, dir.c_str());
    int rc = library.EncodeToFile(nullptr, options.files[0].c_str(), type, nullptr, name.c_str(),
                                  options.lines);
    session.ClearBar();
    if (rc == codec::kCanceled) context.err << "tamsel: canceled\n";
    return rc;
}

bool Accepts(const Command& c, const std::string& flag) {
    std::string flags = std::string(" ") + c.flags + " ";
    return flags.find(" " + flag + " ") != std::string::npos;
}

}  // namespace

int Run(const std::vector<std::string>& args, Context& context) {
    if (args.empty()) return Usage(context, "no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp(context.out);
        return 0;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (args[0] == c.name) command = &c;
    if (!command) return Usage(context, "unknown command '" + args[0] + "'");

    Options options;
    bool filesOnly = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (filesOnly || a.empty() || a[0] != '-' || a == "-") {
            options.files.push_back(a);
            continue;
        }
        if (a == "--") {
            filesOnly = true;
        } else if (a == "--help" || a == "-h") {
            context.out << "usage: " << command->usage << "\n";
            return 0;
        } else if (!Accepts(*command, a)) {
            return Usage(context, "unknown option '" + a + "' for " + command->name);
        } else if (a == "--json") {
            options.json = true;
        } else if (a == "--overwrite") {
            options.overwrite = true;
        } else if (a == "--ignore-errors") {
            options.ignoreErrors = true;
        } else if (a == "-d") {
            if (i + 1 >= args.size()) return Usage(context, "-d needs a directory");
            options.dir = args[++i];
        } else if (a == "-t") {
            if (i + 1 >= args.size()) return Usage(context, "-t needs uu, xx or b64");
            options.type = args[++i];
        } else if (a == "-l") {
            char* end = nullptr;
            errno = 0;
            long lines = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : -1;
            if (i + 1 >= args.size() || *end != '\0' || errno != 0 || lines < 0)
                return Usage(context, "-l needs a number of lines (0: one file)");
            options.lines = lines;
            ++i;
        }
    }
    if (options.files.empty()) return Usage(context, "no input files given");
    return command->run(options, context);
}

}  // namespace tamsel
