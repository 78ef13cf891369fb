// Encoding; see encode.h. The encoded document is produced as a stream of lines (header
// lines, data lines made from the input as it is read, trailer lines), and each line goes to
// the part file its number belongs to. uuencode and xxencode parts split the data lines (the
// begin line goes with the first, terminator and "end" with the last) and carry a Subject
// with their number, so they join in any order; Base64 parts are message/partial messages
// (RFC 2046, 5.2.2) that split the whole MIME message. yEnc is written apart (its lines hold
// varying numbers of bytes, and each part says its byte range and checksum): its parts split
// the file's bytes, as many per part as the lines asked for would hold unescaped.
#include "library/encode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include <zlib.h>

#include "base/tables.h"
#include "formats/yenc/yenc_encode.h"
#include "io/output_file.h"
#include "io/source.h"
#include "simd/simd.h"

namespace codec {

namespace {

constexpr size_t kUuBytes = 45;                              // per uuencode/xxencode line
constexpr size_t kBase64Bytes = 57;                          // per 76-character Base64 line
constexpr size_t kReadChunk = kUuBytes * kBase64Bytes * 64;  // a multiple of both

bool IsBase64(const EncodeJob& job) {
    return job.type == kEncodeBase64;
}

// Two output characters for every 12-bit value, so three bytes take two lookups.
using PairTable = std::array<std::array<char, 2>, 4096>;

constexpr PairTable MakePairs(std::string_view alphabet) {
    PairTable t{};
    for (size_t v = 0; v < 4096; ++v) {
        t[v][0] = alphabet[v >> 6];
        t[v][1] = alphabet[v & 63];
    }
    return t;
}

// kUuAlphabet writes zero as '`' rather than a blank, so no line ends in blanks.
constexpr PairTable kUuPairs = MakePairs(kUuAlphabet);
constexpr PairTable kXxPairs = MakePairs(kXxAlphabet);
constexpr PairTable kBase64Pairs = MakePairs(kBase64Alphabet);

// Whole groups of three bytes to four characters; returns the end of the output.
inline char* Groups(const PairTable& pairs, const unsigned char* b, size_t groups, char* o) {
    for (size_t g = 0; g < groups; ++g, b += 3, o += 4) {
        uint32_t v = uint32_t{b[0]} << 16 | uint32_t{b[1]} << 8 | b[2];
        std::memcpy(o, pairs[v >> 12].data(), 2);
        std::memcpy(o + 2, pairs[v & 0xFFF].data(), 2);
    }
    return o;
}

// A parameter value for a MIME header: quoted when plain ASCII, RFC 2231 otherwise.
std::string Param(const std::string& key, const std::string& value) {
    bool plain = true;
    for (unsigned char c : value)
        plain = plain && c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    if (plain) return key + "=\"" + value + "\"";
    std::string out = key + "*=UTF-8''";
    for (unsigned char c : value) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// The encoded document, line by line.
class Document {
  public:
    Document(const EncodeJob& job, std::vector<char>& readBuffer) : m_job(job), m_read(readBuffer) {
        if (m_read.size() < kReadChunk) m_read.resize(kReadChunk);
        size_t per = IsBase64(job) ? kBase64Bytes : kUuBytes;
        m_dataLines = (job.inputSize + per - 1) / per;
        if (IsBase64(job)) {
            m_head = {"MIME-Version: 1.0",
                      "Subject: " + job.headerName,
                      "Content-Type: application/octet-stream; " + Param("name", job.headerName),
                      "Content-Transfer-Encoding: base64",
                      "Content-Disposition: attachment; " + Param("filename", job.headerName),
                      ""};
        } else {
            m_head = {"begin 644 " + job.headerName};
            m_tail = {job.type == kEncodeXx ? "+" : "`", "end"};
        }
    }

    uint64_t lines() const { return m_head.size() + m_dataLines + m_tail.size(); }
    uint64_t dataLines() const { return m_dataLines; }
    size_t headLines() const { return m_head.size(); }

    // The next line (without its line end); false at the end or on a read error (error()).
    // Data lines are encoded into `scratch` (room for kMaxLine characters).
    bool Next(std::string_view& line, char* scratch) {
        if (m_index < m_head.size()) {
            line = m_head[m_index++];
            return true;
        }
        uint64_t data = m_index - m_head.size();
        if (data < m_dataLines) {
            ++m_index;
            return Data(line, scratch);
        }
        uint64_t tail = data - m_dataLines;
        if (tail < m_tail.size()) {
            ++m_index;
            line = m_tail[tail];
            return true;
        }
        return false;
    }

    int error() const { return m_error; }

    // The next line is a data line followed by more: a full one.
    bool AtFullLine() const {
        return m_index >= m_head.size() && m_index + 1 < m_head.size() + m_dataLines;
    }
    // Characters of a full data line with its line end (and uuencode's length character).
    size_t FullLineChars() const { return PerLine() / 3 * 4 + (IsBase64(m_job) ? 1 : 2); }
    // Up to max full data lines (AtFullLine: at least one), as many as the read holds, encoded
    // into out (room for max of them). Returns how many; 0 on a read error (error()).
    size_t FullLines(size_t max, char* out) {
        if (!Fill()) return 0;
        size_t per = PerLine();
        uint64_t full = m_head.size() + m_dataLines - 1 - m_index;
        size_t n = std::min<size_t>(
            {max, (m_fill - m_pos) / per, static_cast<size_t>(std::min<uint64_t>(full, SIZE_MAX))});
        if (n == 0) return 0;
        const auto* b = reinterpret_cast<const unsigned char*>(m_read.data() + m_pos);
        std::string_view a = Alphabet();
        SixBitEncodeLines(b, n, per, a.data(), IsBase64(m_job) ? '\0' : a[per], out);
        m_pos += n * per;
        m_index += n;
        return n;
    }

  private:
    size_t PerLine() const { return IsBase64(m_job) ? kBase64Bytes : kUuBytes; }
    std::string_view Alphabet() const {
        return IsBase64(m_job)           ? kBase64Alphabet
               : m_job.type == kEncodeXx ? kXxAlphabet
                                         : kUuAlphabet;
    }

    // Reads on when what was read is used up; false on a read error.
    bool Fill() {
        if (m_pos < m_fill) return true;
        ssize_t got = ReadAt(m_job.inputFd, m_read.data(), kReadChunk, m_offset);
        if (got <= 0) {
            m_error = got < 0 ? errno : EIO;  // the file shrank under us
            return false;
        }
        m_offset += static_cast<uint64_t>(got);
        m_pos = 0;
        m_fill = static_cast<size_t>(got);
        return true;
    }

    bool Data(std::string_view& line, char* scratch) {
        size_t per = PerLine();
        if (!Fill()) return false;
        size_t n = m_fill - m_pos < per ? m_fill - m_pos : per;
        const auto* b = reinterpret_cast<const unsigned char*>(m_read.data() + m_pos);
        m_pos += n;
        char* o = scratch;
        if (IsBase64(m_job)) {
            const char* a = Alphabet().data();
            size_t i = n / 3 * 3;
            // Vector blocks read 16 bytes for every 12 they encode: they may read up to four
            // bytes past the line's whole groups (what the read buffer holds), never encode
            // past them.
            size_t readable = m_fill - (m_pos - n);
            size_t fast = Base64EncodeBlocks(b, readable < i + 4 ? readable : i + 4, o);
            o += fast / 3 * 4;
            o = Groups(kBase64Pairs, b + fast, (i - fast) / 3, o);
            if (i < n) {
                unsigned b1 = i + 1 < n ? b[i + 1] : 0;
                o[0] = a[b[i] >> 2];
                o[1] = a[(b[i] & 3) << 4 | b1 >> 4];
                o[2] = i + 1 < n ? a[(b1 & 15) << 2] : '=';
                o[3] = '=';
                o += 4;
            }
        } else {
            const char* a = Alphabet().data();
            *o++ = a[n];
            size_t whole = n / 3;
            o = Groups(m_job.type == kEncodeXx ? kXxPairs : kUuPairs, b, whole, o);
            for (size_t i = whole * 3; i < n; i += 3, o += 4) {
                unsigned b0 = b[i], b1 = i + 1 < n ? b[i + 1] : 0, b2 = i + 2 < n ? b[i + 2] : 0;
                o[0] = a[b0 >> 2];
                o[1] = a[(b0 & 3) << 4 | b1 >> 4];
                o[2] = a[(b1 & 15) << 2 | b2 >> 6];
                o[3] = a[b2 & 63];
            }
        }
        line = std::string_view(scratch, static_cast<size_t>(o - scratch));
        return true;
    }

    const EncodeJob& m_job;
    std::vector<char>& m_read;
    std::vector<std::string> m_head, m_tail;
    uint64_t m_dataLines = 0;
    uint64_t m_index = 0;
    uint64_t m_offset = 0;
    size_t m_pos = 0, m_fill = 0;
    int m_error = 0;
};

// Room for any line: a data line, or a header line with a name of up to 255 bytes written
// with RFC 2231 escapes.
constexpr size_t kMaxLine = 2048;

// How the document's lines fall into parts.
struct Split {
    uint64_t parts = 1;
    uint64_t per = 0;            // lines per part, 0: one file
    bool wholeDocument = false;  // Base64: every line counts; uu/xx: only the data lines

    uint64_t PartOf(uint64_t line, const Document& doc) const {
        if (per == 0) return 0;
        if (wholeDocument) return line / per;
        if (line < doc.headLines()) return 0;
        uint64_t data = line - doc.headLines();
        if (data >= doc.dataLines()) return parts - 1;
        return data / per;
    }
    // The lines from this one to the end of its part.
    uint64_t LeftInPart(uint64_t line, const Document& doc) const {
        if (per == 0) return UINT64_MAX;
        if (wholeDocument) return per - line % per;
        if (line < doc.headLines() || line - doc.headLines() >= doc.dataLines()) return 1;
        return per - (line - doc.headLines()) % per;
    }
};

Split MakeSplit(const EncodeJob& job, uint64_t lines, uint64_t dataLines) {
    Split s;
    if (job.linesPerPart <= 0) return s;
    s.per = static_cast<uint64_t>(job.linesPerPart);
    s.wholeDocument = IsBase64(job);
    uint64_t counted = s.wholeDocument ? lines : dataLines;
    s.parts = counted == 0 ? 1 : (counted + s.per - 1) / s.per;
    return s;
}

// The bytes of the file in each yEnc part.
uint64_t YencPartBytes(const EncodeJob& job) {
    if (job.linesPerPart <= 0) return UINT64_MAX;
    uint64_t lines = static_cast<uint64_t>(job.linesPerPart);
    return lines > UINT64_MAX / kYencLine ? UINT64_MAX : lines * kYencLine;
}

uint64_t PartsOf(const EncodeJob& job) {
    if (job.type == kEncodeYenc) {
        uint64_t per = YencPartBytes(job);
        return job.inputSize == 0 ? 1 : job.inputSize / per + (job.inputSize % per != 0);
    }
    size_t per = IsBase64(job) ? kBase64Bytes : kUuBytes;
    uint64_t data = (job.inputSize + per - 1) / per;
    uint64_t lines = data + (IsBase64(job) ? 6 : 3);
    return MakeSplit(job, lines, data).parts;
}

}  // namespace

bool ToEncodeType(int type, EncodeType& out) {
    switch (type) {
        case kEncodeUu:
        case kEncodeBase64:
        case kEncodeXx:
        case kEncodeYenc:
            out = static_cast<EncodeType>(type);
            return true;
        default:
            return false;
    }
}

Encoding EncodingOf(EncodeType type) {
    switch (type) {
        case kEncodeXx:
            return Encoding::kXx;
        case kEncodeBase64:
            return Encoding::kBase64;
        case kEncodeYenc:
            return Encoding::kYenc;
        case kEncodeUu:
            break;
    }
    return Encoding::kUu;
}

std::vector<std::string> EncodeOutputNames(const EncodeJob& job) {
    if (job.linesPerPart <= 0) return {job.outputName};
    uint64_t parts = PartsOf(job);
    std::string stem = job.outputName;
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
    int digits = 3;
    for (uint64_t p = parts; p >= 1000; p /= 10)
        ++digits;
    std::vector<std::string> names;
    names.reserve(parts);
    for (uint64_t k = 1; k <= parts; ++k) {
        std::string number = std::to_string(k);
        if (number.size() < static_cast<size_t>(digits))
            number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
        names.push_back(stem + "." + number + "." + job.extension);
    }
    return names;
}

namespace {

constexpr const char* kCanceledText = "Encoding was canceled; nothing was written.";

// The files one encode writes: each under a temporary name while it is written, all put in
// place only once every one is complete.
class Outputs {
  public:
    using Say = std::function<void(int level, const std::string& text)>;
    Outputs(const EncodeJob& job, std::vector<uint8_t>& buffer, std::vector<std::string> names,
            Say say)
        : m_job(job), m_buffer(buffer), m_names(std::move(names)), m_say(std::move(say)) {}

    const std::vector<std::string>& names() const { return m_names; }
    // A result code for a failure, after a warning that says it.
    int Fail(int code, const std::string& text) {
        m_say(2, text);
        return code;  // the OutputFiles remove their temporaries as they go
    }
    // Closes the file being written and begins names()[part], with the text it starts with.
    int Begin(size_t part, const std::string& head) {
        if (int rc = Close(); rc != 0) return rc;
        m_current = part;
        m_out = std::make_unique<OutputFile>(m_buffer, false);
        if (int err = m_out->Create(m_job.outputDirFd, m_names[part]))
            return Fail(1, "Cannot create '" + m_names[part] + "': " + std::strerror(err));
        Write(head);
        return 0;
    }
    OutputFile& out() { return *m_out; }
    void Write(std::string_view text) {
        m_out->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    int Close() {
        if (!m_out) return 0;
        if (int err = m_out->Close(0666u & ~m_job.umask))
            return Fail(1, "Cannot write '" + m_names[m_current] + "': " + std::strerror(err));
        m_written.push_back(std::move(m_out));
        return 0;
    }
    // Puts every file in place: all of them, or (overwrite off) none.
    int Publish() {
        if (int rc = Close(); rc != 0) return rc;
        for (size_t k = 0; k < m_written.size(); ++k) {
            int err = m_written[k]->Publish(m_job.overwrite);
            if (err == 0) continue;
            if (!m_job.overwrite) {
                // Only new files were made: take them back, so the call leaves nothing.
                for (size_t j = 0; j < k; ++j)
                    unlinkat(m_job.outputDirFd, m_names[j].c_str(), 0);
            }
            if (err == EEXIST && !m_job.overwrite)
                return Fail(7, "'" + m_names[k] + "' appeared meanwhile and was not overwritten.");
            return Fail(1, "Cannot write '" + m_names[k] + "': " + std::strerror(err));
        }
        return 0;
    }

  private:
    const EncodeJob& m_job;
    std::vector<uint8_t>& m_buffer;
    std::vector<std::string> m_names;
    Say m_say;
    std::unique_ptr<OutputFile> m_out;
    size_t m_current = 0;
    std::vector<std::unique_ptr<OutputFile>> m_written;  // closed, waiting to be put in place
};

// uuencode, xxencode and Base64: the document's lines, split into parts.
int EncodeLines(const EncodeJob& job, Outputs& outputs, std::vector<char>& readBuffer,
                const EncodeCallbacks& callbacks) {
    Document doc(job, readBuffer);
    Split split = MakeSplit(job, doc.lines(), doc.dataLines());
    auto parts = static_cast<int>(split.parts);
    uint64_t linesIn = 0, partLines = 0, current = UINT64_MAX;
    std::string_view line;
    for (uint64_t i = 0; i < doc.lines(); ++i) {
        uint64_t part = split.PartOf(i, doc);
        if (part != current) {
            current = part;
            std::string head;
            if (split.per > 0) {
                head = "Subject: " + job.headerName + " (" + std::to_string(part + 1) + "/" +
                       std::to_string(parts) + ")\n";
                if (IsBase64(job))
                    head = "MIME-Version: 1.0\n" + head + "Content-Type: message/partial; id=\"" +
                           job.id + "\"; number=" + std::to_string(part + 1) +
                           "; total=" + std::to_string(parts) + "\n";
                head += "\n";
            }
            if (int rc = outputs.Begin(part, head); rc != 0) return rc;
            linesIn = 0;
            partLines = split.per > 0 ? split.per : doc.lines();
        }
        // Data lines are encoded straight into the output buffer, full ones many at a time;
        // header lines are copied.
        OutputFile& out = outputs.out();
        uint64_t before = linesIn;
        size_t bulk = 0;
        if (doc.AtFullLine()) {
            constexpr uint64_t kBulkLines = 1024;
            auto most = static_cast<size_t>(std::min(split.LeftInPart(i, doc), kBulkLines));
            uint8_t* o = out.Reserve(most * doc.FullLineChars());
            bulk = doc.FullLines(most, reinterpret_cast<char*>(o));
            if (doc.error() != 0) break;
            out.Advance(bulk * doc.FullLineChars());
        }
        if (bulk > 0) {
            i += bulk - 1;
            linesIn += bulk;
        } else {
            uint8_t* o = out.Reserve(kMaxLine + 1);
            char* scratch = reinterpret_cast<char*>(o);
            if (!doc.Next(line, scratch)) break;
            if (line.data() != scratch) std::memcpy(o, line.data(), line.size());
            o[line.size()] = '\n';
            out.Advance(line.size() + 1);
            ++linesIn;
        }
        if ((linesIn >> 6) != (before >> 6) && callbacks.progress) {
            int percent = static_cast<int>(linesIn * 100 / (partLines ? partLines : 1));
            if (!callbacks.progress(static_cast<int>(part) + 1, parts,
                                    percent > 100 ? 100 : percent))
                return outputs.Fail(9, kCanceledText);
        }
    }
    if (doc.error() != 0)
        return outputs.Fail(
            1, "Cannot read the file to encode: " + std::string(std::strerror(doc.error())));
    return 0;
}

std::string Hex8(uint32_t v) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", v);
    return hex;
}

// yEnc 1.3: one part, or parts of YencPartBytes each, every one with its range and CRC-32 and
// the last also with the whole file's.
int EncodeYenc(const EncodeJob& job, Outputs& outputs, std::vector<char>& readBuffer,
               const EncodeCallbacks& callbacks) {
    if (readBuffer.size() < kReadChunk) readBuffer.resize(kReadChunk);
    const uint64_t per = YencPartBytes(job);
    const size_t parts = outputs.names().size();
    const std::string size = std::to_string(job.inputSize);
    uint32_t crc = 0;
    for (size_t k = 0; k < parts; ++k) {
        uint64_t begin = k * per,
                 end = std::min(job.inputSize, k == parts - 1 ? UINT64_MAX : begin + per);
        std::string number = std::to_string(k + 1), total = std::to_string(parts);
        std::string head = "=ybegin line=" + std::to_string(kYencLine) + " size=" + size +
                           " name=" + job.headerName + "\n";
        if (job.linesPerPart > 0)
            head = "Subject: \"" + job.headerName + "\" yEnc (" + number + "/" + total +
                   ")\n\n=ybegin part=" + number + " total=" + total +
                   head.substr(std::string_view("=ybegin").size()) +
                   "=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(end) +
                   "\n";
        if (int rc = outputs.Begin(k, head); rc != 0) return rc;
        OutputFile& out = outputs.out();
        uint32_t pcrc = 0;
        uint64_t pos = begin;
        size_t at = 0, fill = 0;
        const auto* bytes = reinterpret_cast<const uint8_t*>(readBuffer.data());
        for (;;) {
            if (fill - at < kYencLine && pos < end) {
                // Less than a line left: the rest moves to the front and more is read.
                std::memmove(readBuffer.data(), readBuffer.data() + at, fill - at);
                fill -= at;
                at = 0;
                size_t want = static_cast<size_t>(std::min<uint64_t>(kReadChunk - fill, end - pos));
                ssize_t got = ReadAt(job.inputFd, readBuffer.data() + fill, want, pos);
                if (got <= 0)
                    return outputs.Fail(1, "Cannot read the file to encode: " +
                                               std::string(std::strerror(got < 0 ? errno : EIO)));
                auto n = static_cast<size_t>(got);
                pcrc = Crc32(pcrc, bytes + fill, n);
                fill += n;
                pos += n;
                if (callbacks.progress) {
                    auto percent =
                        static_cast<int>((pos - begin) * 100 / std::max<uint64_t>(end - begin, 1));
                    if (!callbacks.progress(static_cast<int>(k) + 1, static_cast<int>(parts),
                                            percent))
                        return outputs.Fail(9, kCanceledText);
                }
            }
            if (at == fill) break;
            char* o = reinterpret_cast<char*>(out.Reserve(kYencMaxLine + 1));
            size_t used = 0;
            size_t n = EncodeYencLine(bytes + at, fill - at, o, used);
            o[n] = '\n';
            out.Advance(n + 1);
            at += used;
        }
        // The file's CRC from its parts': each byte is counted once.
        crc = k == 0 ? pcrc
                     : static_cast<uint32_t>(
                           crc32_combine(crc, pcrc, static_cast<z_off_t>(end - begin)));
        std::string tail = "=yend size=" + std::to_string(end - begin);
        if (job.linesPerPart > 0) {
            tail += " part=" + number + " pcrc32=" + Hex8(pcrc);
            if (k == parts - 1) tail += " crc32=" + Hex8(crc);
        } else {
            tail += " crc32=" + Hex8(crc);
        }
        outputs.Write(tail + "\n");
    }
    return 0;
}

}  // namespace

int Encode(const EncodeJob& job, std::vector<uint8_t>& buffer, std::vector<char>& readBuffer,
           const EncodeCallbacks& callbacks) {
    std::vector<std::string> names = EncodeOutputNames(job);
    auto say = [&](int level, const std::string& text) {
        if (callbacks.message) callbacks.message(level, text);
    };
    if (!job.overwrite) {
        for (const std::string& name : names) {
            struct stat st;
            if (fstatat(job.outputDirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                say(2, "'" + name + "' already exists and was not overwritten; nothing written.");
                return 7;
            }
        }
    }
    size_t parts = names.size();
    Outputs outputs(job, buffer, std::move(names), say);
    int rc = job.type == kEncodeYenc ? EncodeYenc(job, outputs, readBuffer, callbacks)
                                     : EncodeLines(job, outputs, readBuffer, callbacks);
    if (rc != 0) return rc;
    if (callbacks.progress &&
        !callbacks.progress(static_cast<int>(parts), static_cast<int>(parts), 100))
        return outputs.Fail(9, kCanceledText);
    return outputs.Publish();
}

}  // namespace codec
