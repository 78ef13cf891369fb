// BinHex 4.0 as a format of the scan and the decode, and what its CRC-16s say.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "formats/binhex/binhex.h"
#include "formats/format.h"

namespace codec {

std::unique_ptr<FormatReader> NewBinHexReader();
std::unique_ptr<SpanDecoder> NewBinHexDecoder(Encoding encoding, bool checks);
extern const CutLineRules kBinHexCut;

// A line inside BinHex data, as the scan and the decode both read it: its characters (before
// a closing ':', blanks trimmed) and whether it closes the data. False for a line that is not
// data (a cut mark, a signature).
struct BinHexLine {
    std::string_view data;
    size_t colon = std::string_view::npos;  // of the closing ':' in the line
};
bool ReadBinHexLine(std::string_view text, BinHexLine& out);

// The decoding of a record's BinHex stream, from part to part, with its CRC results.
class BinHexSpanDecoder : public SpanDecoder {
  public:
    explicit BinHexSpanDecoder(bool checks) { m_decoder.SetChecks(checks); }
    int Decode(Input& input, const PartInfo& part, ByteSink& sink, const LineReader::FillHook& hook,
               std::vector<char>& readBuffer) override;
    BinHexCheck Check() const { return m_decoder.Check(); }

  private:
    BinHexDecoder m_decoder;
};

// A BinHex file the scan read whole (one part): good when every CRC it carries matches.
CopyCheck CheckBinHexCopy(const PartInfo& part);

// Says what a BinHex stream's CRCs showed of the file called name: a warning for each fork
// whose CRC fails or cannot be checked, a note for a resource fork (not written). True when
// something is wrong.
bool ReportBinHexCheck(const BinHexCheck& check, const std::string& name,
                       const std::function<void(int level, const std::string& text)>& say);

}  // namespace codec
