// Header, RFC 2047/2231, Subject numbering and safe-name parsing of arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "library/safe_name.h"
#include "message/headers.h"
#include "message/subject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string_view name, value;
    codec::ParseHeaderLine(text, name, value);
    codec::MimeField field = codec::ParseMimeField(text);
    std::string safe = codec::SafeBaseName(field.Param("filename"));
    if (safe.size() > codec::kMaxNameBytes || safe.find('/') != std::string::npos) abort();
    std::string words = codec::DecodeEncodedWords(text);
    codec::SubjectInfo s = codec::ParseSubject(words);
    if (s.number < 0 || s.total < 0 || s.number > s.total) abort();
    safe = codec::SafeBaseName(text);
    if (safe.size() > codec::kMaxNameBytes || safe.find('/') != std::string::npos ||
        safe.find('\\') != std::string::npos || safe == "." || safe == "..")
        abort();
    return 0;
}
