// Parts become file records, on evidence, strongest first: a part joins a record by its name,
// else by its Subject with the numbering removed, else (no begin, no numbering) by directly
// following an unfinished part, but never against a Subject that names another post or
// another number of parts. The same name split into another number of parts is a set of its
// own. Anything else starts a record of its own. Records never move once made, so the pointers
// handed out stay valid until the assembly is cleared.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "codec/codec_library.h"
#include "formats/part.h"

namespace codec {

struct Record {
    FileRecord pub;    // what callers read; refreshed by Assembly::Refresh
    std::string name;  // safe base name, empty when none
    std::string subjectKey;
    std::string subjectName;      // safe name taken from the Subject, used when name is empty
    std::vector<PartInfo> parts;  // no repeats; ascending part number after a refresh
    std::unordered_set<int> numbers;
    bool sorted = true;
    int maxTotal = 0;  // the largest part count a Subject claimed
    std::vector<int32_t> missing;
    int total = 0;
    bool failed = false;
    bool checksumBad = false;   // a part's or the whole file's checksum or size is wrong
    bool placeholder = false;   // stands for a message/partial message not yet whole: never ready
    bool orderUnknown = false;  // see kStateOrderUnknown
    // Sets of one file split in different numbers of parts: the first record made, for the
    // others; and, in the first, the one listed under the file's own name (the first, until
    // another set is complete where it is not).
    Record* firstSet = nullptr;
    Record* namedSet = nullptr;

    int Mode() const;  // permission bits of the begin line, or -1
    uint64_t Size() const;
};

class Assembly {
  public:
    using Note = std::function<void(const std::string& text, int level)>;

    // Adds a part. A repeat of a part number is dropped with a note, unless the checksums
    // show the copy there is damaged and this one intact: then this one takes its place (and
    // replacedKept, when given, is set to what the load kept of the one replaced).
    // Returns the record it joined, or null for a repeat dropped. A part that would start a
    // record of its own takes `reuse` instead, when given (a placeholder becomes the real
    // record).
    Record* Add(PartInfo&& part, const Note& note, Record* reuse = nullptr,
                int* replacedKept = nullptr);
    // A record that stands for a message/partial message not yet complete: it lists the
    // pieces there and missing, and is never ready. Found again by its id.
    Record* Placeholder(const std::string& id, const std::vector<int>& numbers, int total,
                        const std::string& subjectName);
    // Recomputes the public fields of the records changed since the last refresh, or of
    // every record (states follow decodeWithErrors).
    // The complete set of a file split in different numbers of parts takes the file's name
    // from one that is not (with a note, when given).
    void Refresh(bool decodeWithErrors, const Note& note = {});
    void RefreshAll(bool decodeWithErrors);
    void RefreshOne(Record& record, bool decodeWithErrors);

    const Record* At(size_t index) const;
    Record* Find(const FileRecord* pub);
    size_t size() const { return m_records.size(); }

    // The previous part ended without its end and had this encoding: a chunk without headers
    // may go on with it.
    bool LastOpenIs(Encoding encoding) const;
    // The part added last, when it came from source and its span reaches lineBegin: the part
    // an input cut inside a line ran into, which the next input goes on with. It is open
    // again; the caller shortens it (the pointer is valid until the next Add).
    PartInfo* ReopenLast(uint32_t source, uint64_t lineBegin);
    // The next input does not finish that line: what goes on from the part next, by
    // adjacency, comes after a part that is missing.
    void GapAfterLast(uint32_t source, uint64_t lineBegin);

    void Clear();

    // Whether two copies of a part are of one file (the library can read them); unset: a
    // repeat is always the same part again.
    std::function<bool(const PartInfo& first, const PartInfo& again)> sameFile;

  private:
    // A record for part: a new one, or `reuse` made over (when given).
    Record* NewRecord(const PartInfo& part, Record* reuse = nullptr);
    // A name for a file whose own cannot be used, that no record of this encoding has.
    std::string GeneratedName(const PartInfo& part);
    // The part of record with this number, or null.
    static PartInfo* PartNumbered(Record& record, int number);
    // A part that is a file in itself: begin, end, and no numbering beyond 1 of 1.
    static bool Whole(const PartInfo& part, bool numbered);
    // The part added last, when it came from source and its span reaches lineBegin.
    PartInfo* LastAdded(uint32_t source, uint64_t lineBegin);
    // Gives the file's name to a complete set where the set named is not; see Refresh.
    void NameCompleteSet(Record& first, bool decodeWithErrors, const Note& note);
    // name with " (2)", " (3)", ... before its extension, as no record is named.
    std::string DistinctName(const std::string& name);

    std::vector<std::unique_ptr<Record>> m_records;
    std::unordered_map<std::string, Record*> m_byName;
    std::unordered_map<std::string, Record*> m_byKey;
    std::unordered_map<const FileRecord*, Record*> m_byPub;
    std::vector<Record*> m_dirty;
    std::unordered_map<std::string, Record*> m_placeholders;
    // The records of other files found under a name already listed, by that name.
    std::unordered_map<std::string, std::vector<Record*>> m_others;
    // The other splits of a record's file, by that record and their number of parts.
    std::map<std::pair<const Record*, int>, Record*> m_sets;
    Record* m_lastOpen = nullptr;  // record of the last part added, when that part has no end
    int m_lastOpenNumber = 0;
    Encoding m_lastOpenEncoding = Encoding::kUu;
    Record* m_lastAdded = nullptr;  // record of the last part added, that part's number
    int m_lastAddedNumber = 0;
    bool m_gap = false;   // see GapAfterLast
    int m_generated = 0;  // names given so far
};

}  // namespace codec
