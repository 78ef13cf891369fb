// Names for parts without one; see part_name.h.
#include "message/part_name.h"

#include <array>
#include <utility>

#include "base/text.h"

namespace codec {

namespace {

// The types mail most often carries without a name. A type not here takes its subtype when
// that is a short word ("image/webp": "webp").
constexpr std::array<std::pair<std::string_view, std::string_view>, 34> kExtensions = {{
    {"image/jpeg", "jpg"},
    {"image/pjpeg", "jpg"},
    {"image/svg+xml", "svg"},
    {"image/x-icon", "ico"},
    {"image/vnd.microsoft.icon", "ico"},
    {"application/octet-stream", "bin"},
    {"application/x-gzip", "gz"},
    {"application/x-tar", "tar"},
    {"application/x-7z-compressed", "7z"},
    {"application/x-rar-compressed", "rar"},
    {"application/vnd.rar", "rar"},
    {"application/x-zip-compressed", "zip"},
    {"application/msword", "doc"},
    {"application/vnd.ms-excel", "xls"},
    {"application/vnd.ms-powerpoint", "ppt"},
    {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", "docx"},
    {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "xlsx"},
    {"application/vnd.openxmlformats-officedocument.presentationml.presentation", "pptx"},
    {"application/vnd.oasis.opendocument.text", "odt"},
    {"application/vnd.oasis.opendocument.spreadsheet", "ods"},
    {"application/pgp-signature", "asc"},
    {"application/pgp-encrypted", "asc"},
    {"application/pgp-keys", "asc"},
    {"application/pkcs7-signature", "p7s"},
    {"application/x-pkcs7-signature", "p7s"},
    {"application/pkcs7-mime", "p7m"},
    {"application/x-pkcs7-mime", "p7m"},
    {"audio/mpeg", "mp3"},
    {"audio/x-wav", "wav"},
    {"video/quicktime", "mov"},
    {"video/mpeg", "mpg"},
    {"text/calendar", "ics"},
    {"text/vcard", "vcf"},
    {"text/x-vcard", "vcf"},
}};

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "report.pdf", "image001.png": ends in a dot and one to five letters or digits, one a letter.
bool HasExtension(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    std::string_view ext = name.substr(dot + 1);
    if (ext.empty() || ext.size() > 5) return false;
    bool letter = false;
    for (char c : ext) {
        if (!IsNameChar(c) || c == '.' || c == '_' || c == '-') return false;
        letter = letter || IsLetter(c);
    }
    return letter;
}

// A description that reads as a name: one short line of words, no path, no quotes.
bool UsableDescription(std::string_view d) {
    if (d.empty() || d.size() > 64) return false;
    bool letter = false;
    for (char c : d) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '"' || c == '*' ||
            c == '?' || c == '<' || c == '>' || c == '|')
            return false;
        letter = letter || IsLetter(c) || u >= 0x80;
    }
    return letter && d.front() != '.';
}

// A Content-ID's local part that reads as a name ("image001.png", "logo"), not a generated
// key ("part1.06090408.01060107", "5F3A9C0D2B41").
bool UsableId(std::string_view id) {
    if (id.empty() || id.size() > 48 || id.front() == '.') return false;
    size_t digits = 0, run = 0;
    bool letter = false;
    for (char c : id) {
        if (!IsNameChar(c)) return false;
        bool digit = c >= '0' && c <= '9';
        run = digit ? run + 1 : 0;
        digits = run > digits ? run : digits;
        letter = letter || IsLetter(c);
    }
    return letter && digits < 6 && (HasExtension(id) || id.size() <= 24);
}

}  // namespace

std::string ExtensionOf(std::string_view type) {
    for (const auto& [t, ext] : kExtensions)
        if (t == type) return std::string(ext);
    size_t slash = type.find('/');
    std::string_view sub = slash == std::string_view::npos ? "" : type.substr(slash + 1);
    bool word = !sub.empty() && sub.size() <= 5;
    for (char c : sub)
        word = word && ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
    return word ? std::string(sub) : "bin";
}

std::string SuggestedPartName(std::string_view type, std::string_view description,
                              std::string_view contentId, int partNumber) {
    std::string name;
    description = Trim(description);
    contentId = Trim(contentId);
    if (contentId.size() >= 2 && contentId.front() == '<' && contentId.back() == '>')
        contentId = contentId.substr(1, contentId.size() - 2);
    contentId = contentId.substr(0, contentId.find('@'));
    if (UsableDescription(description))
        name = description;
    else if (UsableId(contentId))
        name = contentId;
    else
        name = "part-" + std::to_string(partNumber);
    if (!HasExtension(name)) name += "." + ExtensionOf(type);
    return name;
}

}  // namespace codec
