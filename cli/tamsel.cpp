// The tamsel commands. Each sits in one table with its usage line, and --help is printed from
// that table. Commands only drive CodecLibrary and print what it reports: no scanning, naming
// or state rule lives here.
#include "tamsel.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/codec_library.h"
#include "inputs.h"
#include "json.h"

namespace tamsel {

namespace {

using codec::CodecLibrary;
using codec::FileRecord;

struct Options {
    bool json = false;
    bool overwrite = false;
    bool ignoreErrors = false;
    bool recursive = false;
    std::string dir;
    std::string type = "uu";
    long lines = 0;
    std::vector<std::string> files;
};

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    const char* help;  // what the command does and its options, for "tamsel help COMMAND"
    int (*run)(const Options&, Context&);
    const char* flags;  // the options the command accepts, space separated
};

int RunCheck(const Options& options, Context& context);
int RunDecode(const Options& options, Context& context);
int RunEncode(const Options& options, Context& context);

// The inputs of check and decode, after their own options.
constexpr const char* kInputHelp =
    "  -r, --recursive  also read the files in directories, and in the directories inside\n"
    "                   them (in name order; hidden ones and links out of them are not read)\n"
    "\n"
    "FILE - is standard input, and so is no FILE at all: it is read once, kept in memory\n"
    "up to a few MiB and past that in an unnamed temporary file. A Maildir or MH folder is\n"
    "read without -r; any other directory needs it.\n";

constexpr Command kCommands[] = {
    {"check", "tamsel check [-r] [--json] [FILE...]",
     "list the files the inputs will produce and what is wrong with each",
     "Lists every file the inputs will produce: its state, encoding, size and name, and the\n"
     "problems of each that is not ready (missing parts, no begin, no end, no data, a\n"
     "checksum that does not match). The temporary file of standard input goes in $TMPDIR.\n"
     "\n"
     "  --json           print one JSON array instead of the table\n",
     RunCheck, "-r --recursive --json"},
    {"decode", "tamsel decode [-r] [-d DIR] [--overwrite] [--ignore-errors] [FILE...]",
     "decode every ready file into DIR (default: the current directory)",
     "Decodes every file the inputs hold that is ready into DIR and prints the name of each\n"
     "written. Nothing is written outside DIR, and nothing partial is left behind. The\n"
     "temporary file of standard input goes in DIR.\n"
     "\n"
     "  -d DIR           where the files go (default: the current directory)\n"
     "  --overwrite      replace a file that exists (else it is left alone)\n"
     "  --ignore-errors  also decode files that have a name and data but are incomplete\n"
     "                   or fail their checksum\n",
     RunDecode, "-r --recursive -d --overwrite --ignore-errors"},
    {"encode", "tamsel encode [-t uu|xx|b64|yenc] [-l LINES] [--overwrite] [-d DIR] INPUT OUTPUT",
     "encode INPUT as OUTPUT, or in parts of LINES encoded lines named after it",
     "Encodes INPUT into OUTPUT, or with -l into parts named <stem>.001.<ext>,\n"
     "<stem>.002.<ext>, ... after OUTPUT (its extension, uue when it has none). When any of\n"
     "them exists and --overwrite is not given, nothing is written.\n"
     "\n"
     "  -t TYPE          uu (uuencode, the default), xx (xxencode), b64 (Base64 in a MIME\n"
     "                   message; parts are message/partial) or yenc (yEnc 1.3)\n"
     "  -l LINES         parts of LINES encoded lines each, with a numbered Subject (yEnc:\n"
     "                   LINES x 128 bytes of INPUT a part, in about LINES lines); 0: whole\n"
     "  -d DIR           where the outputs go (default: OUTPUT's directory)\n"
     "  --overwrite      replace files that exist\n",
     RunEncode, "-t -l -d --overwrite"},
};

constexpr const char* kExitHelp =
    "Exit status: 0 all fine; the library's code of the first failure (1 I/O error,\n"
    "2 out of memory, 3 internal error, 4 no encoded data, 5 no end line, 7 target\n"
    "exists, 9 canceled); 4 when nothing was found; 10 when some files were not\n"
    "ready; 64 for a usage error.\n";

void PrintHelp(std::ostream& out) {
    out << "Usage:\n";
    for (const Command& c : kCommands)
        out << "  " << c.usage << "\n";
    out << "  tamsel help [COMMAND]\n  tamsel --version\n\nCommands:\n";
    for (const Command& c : kCommands)
        out << "  " << c.name << "\t" << c.summary << "\n";
    out << "  help\tsay what a command does and what its options are\n\n" << kExitHelp;
}

void PrintCommandHelp(const Command& c, std::ostream& out) {
    out << "usage: " << c.usage << "\n\n" << c.help;
    if (c.run != RunEncode) out << kInputHelp;
    out << "\n" << kExitHelp;
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

    // Loads every input in order, standard input ("-") read as a stream whose unnamed copy
    // goes in spoolDir (empty: $TMPDIR). Returns the first failure (0 when none); a cancel
    // stops.
    int LoadAll(const std::vector<std::string>& files, const std::string& spoolDir) {
        int first = 0;
        for (size_t from = 0; from < files.size();) {
            int rc;
            if (files[from] == kStandardInput) {
                rc = library.LoadStream(context.input, "stdin",
                                        spoolDir.empty() ? nullptr : spoolDir.c_str());
                ++from;
            } else {
                // The files up to the next "-", in one call: they may be read ahead.
                size_t to = from;
                std::vector<const char*> paths;
                for (; to < files.size() && files[to] != kStandardInput; ++to)
                    paths.push_back(files[to].c_str());
                std::vector<int> results(paths.size());
                rc =
                    library.LoadFiles(paths.data(), static_cast<int>(paths.size()), results.data());
                for (int r : results)
                    if (rc == 0 && r != 0) rc = r;
                from = to;
            }
            if (rc == codec::kCanceled) {
                ClearBar();
                context.err << "tamsel: canceled\n";
                return rc;
            }
            if (first == 0) first = rc;
        }
        ClearBar();
        return first;
    }

    // The inputs the arguments stand for, loaded; the first failure, as LoadAll.
    int LoadArguments(const Options& options, const std::string& spoolDir) {
        InputList inputs = GatherInputs(
            options.files, options.recursive,
            [&](const std::string& text) { OnMessage(this, text.c_str(), codec::kLevelWarning); });
        int rc = LoadAll(inputs.files, spoolDir);
        return rc != 0 ? rc : inputs.error;
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
    int rc = session.LoadArguments(options, std::string());
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
    int rc = session.LoadArguments(options, dir);
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
    int type = options.type == "uu"     ? codec::kEncodeUu
               : options.type == "xx"   ? codec::kEncodeXx
               : options.type == "b64"  ? codec::kEncodeBase64
               : options.type == "yenc" ? codec::kEncodeYenc
                                        : 0;
    if (type == 0) return Usage(context, "-t takes uu, xx, b64 or yenc");
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
    auto find = [](const std::string& name) -> const Command* {
        for (const Command& c : kCommands)
            if (name == c.name) return &c;
        return nullptr;
    };
    if (args[0] == "--version") {
        context.out << "tamsel " << TAMSEL_VERSION << "\n";
        return 0;
    }
    if (args[0] == "--help" || args[0] == "-h" || (args[0] == "help" && args.size() == 1)) {
        PrintHelp(context.out);
        return 0;
    }
    if (args[0] == "help") {
        const Command* c = find(args[1]);
        if (!c || args.size() > 2)
            return Usage(context, "help takes one command: check, decode or encode");
        PrintCommandHelp(*c, context.out);
        return 0;
    }
    const Command* command = find(args[0]);
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
            PrintCommandHelp(*command, context.out);
            return 0;
        } else if (!Accepts(*command, a)) {
            return Usage(context, "unknown option '" + a + "' for " + command->name);
        } else if (a == "--json") {
            options.json = true;
        } else if (a == "-r" || a == "--recursive") {
            options.recursive = true;
        } else if (a == "--overwrite") {
            options.overwrite = true;
        } else if (a == "--ignore-errors") {
            options.ignoreErrors = true;
        } else if (a == "-d") {
            if (i + 1 >= args.size()) return Usage(context, "-d needs a directory");
            options.dir = args[++i];
        } else if (a == "-t") {
            if (i + 1 >= args.size()) return Usage(context, "-t needs uu, xx, b64 or yenc");
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
    if (command->run == RunEncode) return command->run(options, context);
    if (std::count(options.files.begin(), options.files.end(), kStandardInput) > 1)
        return Usage(context, "standard input (-) can be read only once");
    if (options.files.empty()) {
        // As uudecode does; but a terminal is not waited on for mail to be typed in.
        if (context.inputIsTerminal)
            return Usage(context, "no input files given (and standard input is a terminal)");
        options.files.push_back(kStandardInput);
    }
    return command->run(options, context);
}

}  // namespace tamsel
