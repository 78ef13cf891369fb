// Part assembly; see assembly.h.
#include "library/assembly.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "base/charset.h"
#include "formats/format.h"
#include "library/safe_name.h"
#include "message/headers.h"

namespace codec {

namespace {

// A hostile Subject may claim a million parts; the list of missing numbers stays bounded.
constexpr size_t kMaxMissingListed = 10000;

// A name as it is listed and written, the same everywhere: UTF-8 (raw 8-bit bytes read in the
// charset their text declares, else windows-1252), and safe to create.
std::string ListedName(const std::string& name, const std::string& charset) {
    if (IsValidUtf8(name)) return SafeBaseName(name);
    return SafeBaseName(ToUtf8(name, charset.empty() ? "windows-1252" : charset));
}

std::string NameKey(const std::string& name, Encoding encoding) {
    return name + '\x01' + static_cast<char>('0' + static_cast<int>(encoding));
}

// A file posted whole and a posting in several parts are different files, even under one
// name: neither may take parts of the other.
bool Incompatible(const Record& record, const PartInfo& part) {
    bool recordWhole = record.parts.size() == 1 && record.parts[0].hasBegin &&
                       record.parts[0].hasEnd && record.parts[0].total <= 1;
    bool recordSplit = record.maxTotal > 1;
    bool partWhole = part.hasBegin && part.hasEnd && part.total <= 1;
    return (recordWhole && part.total > 1) || (recordSplit && partWhole);
}

}  // namespace

int Record::Mode() const {
    for (const PartInfo& p : parts)
        if (p.mode >= 0) return p.mode;
    return -1;
}

uint64_t Record::Size() const {
    int64_t declared = -1;
    for (const PartInfo& p : parts)
        declared = std::max(declared, p.fileSize);
    if (declared >= 0) return static_cast<uint64_t>(declared);
    uint64_t size = 0;
    for (const PartInfo& p : parts)
        size += p.bytes;
    return size;
}

Record* Assembly::NewRecord(const PartInfo& part, Record* reuse) {
    Record* r = reuse;
    if (r) {
        *r = Record();  // the same object: its FileRecord keeps its address
    } else {
        m_records.push_back(std::make_unique<Record>());
        r = m_records.back().get();
        m_byPub.emplace(&r->pub, r);
    }
    r->name = ListedName(part.name, part.nameCharset);
    r->subjectKey = part.subjectKey;
    r->subjectName = ListedName(part.subjectName, part.nameCharset);
    r->pub.encoding = part.encoding;
    if (!r->name.empty()) m_byName[NameKey(r->name, part.encoding)] = r;  // the newest wins
    if (part.number > 0 && !part.subjectKey.empty()) m_byKey.emplace(part.subjectKey, r);
    return r;
}

PartInfo* Assembly::PartNumbered(Record& record, int number) {
    auto it = std::find_if(record.parts.begin(), record.parts.end(),
                           [&](const PartInfo& p) { return p.number == number; });
    return it == record.parts.end() ? nullptr : &*it;
}

bool Assembly::Whole(const PartInfo& part, bool numbered) {
    return part.hasBegin && part.hasEnd && (!numbered || (part.number == 1 && part.total <= 1));
}

std::string Assembly::DistinctName(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos) dot = name.size();
    for (int n = 2;; ++n) {
        std::string candidate =
            name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
        bool taken = false;
        for (int e = 0; e <= static_cast<int>(Encoding::kPlain); ++e)
            taken = taken || m_byName.count(NameKey(candidate, static_cast<Encoding>(e))) != 0;
        if (!taken) return candidate;
    }
}

std::string Assembly::GeneratedName(const PartInfo& part) {
    std::string suggested = SafeBaseName(part.suggestedName);
    if (!suggested.empty())
        return m_byName.count(NameKey(suggested, part.encoding)) ? DistinctName(suggested)
                                                                 : suggested;
    for (;;) {
        std::string name = "unnamed-" + std::to_string(++m_generated);
        if (!m_byName.count(NameKey(name, part.encoding))) return name;
    }
}

Record* Assembly::Placeholder(const std::string& id, const std::vector<int>& numbers, int total,
                              const std::string& subjectName) {
    Record*& r = m_placeholders[id];
    if (!r) {
        PartInfo first;
        first.encoding = Encoding::kPlain;
        first.subjectName = subjectName;
        r = NewRecord(first);
        r->placeholder = true;
    }
    if (!subjectName.empty()) r->subjectName = SafeBaseName(subjectName);
    r->parts.clear();
    r->numbers.clear();
    for (int n : numbers) {
        PartInfo p;
        p.encoding = Encoding::kPlain;
        p.number = n;
        p.total = total;
        p.hasBegin = n == 1;
        p.hasEnd = n == total;
        p.hasData = true;  // the piece's, which is not the file's: it is never ready
        r->parts.push_back(p);
        r->numbers.insert(n);
    }
    r->sorted = false;
    r->maxTotal = total;
    m_dirty.push_back(r);
    return r;
}

Record* Assembly::Add(PartInfo&& part, const Note& note, Record* reuse, int* replacedKept) {
    std::string safe = ListedName(part.name, part.nameCharset);
    bool numbered = part.number > 0;
    bool gap = std::exchange(m_gap, false);
    Record* record = nullptr;

    auto byKey = [&]() -> Record* {
        if (!numbered || part.subjectKey.empty()) return nullptr;
        auto it = m_byKey.find(part.subjectKey);
        if (it == m_byKey.end() || it->second->pub.encoding != part.encoding) return nullptr;
        return it->second;
    };

    if (!safe.empty()) {
        auto it = m_byName.find(NameKey(safe, part.encoding));
        if (it != m_byName.end() && !Incompatible(*it->second, part)) record = it->second;
        if (!record) {
            // Later parts may have come first and made a record without a name.
            Record* keyed = byKey();
            if (keyed && keyed->name.empty()) {
                record = keyed;
                record->name = safe;
                m_byName.emplace(NameKey(safe, part.encoding), record);
            }
        }
        if (!numbered) part.number = 1;
    } else if (!part.hasBegin) {
        record = byKey();
        // Adjacency is the weakest evidence: never against a Subject that names another post
        // or another number of parts.
        bool sameSubject =
            m_lastOpen &&
            (m_lastOpen->subjectKey.empty() || part.subjectKey.empty() ||
             m_lastOpen->subjectKey == part.subjectKey) &&
            (m_lastOpen->maxTotal == 0 || part.total == 0 || m_lastOpen->maxTotal == part.total);
        if (!record && sameSubject && m_lastOpenEncoding == part.encoding &&
            (!numbered || part.number == m_lastOpenNumber + 1)) {
            record = m_lastOpen;  // a chunk that directly continues the unfinished one
            if (!numbered) part.number = m_lastOpenNumber + (gap ? 2 : 1);
            if (!numbered && !part.subjectKey.empty() && !record->subjectKey.empty() &&
                !record->orderUnknown) {
                record->orderUnknown = true;
                note("'" + (record->name.empty() ? record->subjectKey : record->name) +
                         "': the article after part " + std::to_string(m_lastOpenNumber) +
                         " goes on with it, but its Subject does not say it is part " +
                         std::to_string(part.number) + "; the order is that of the inputs.",
                     kLevelNote);
            }
        }
        if (!numbered && !record) part.number = 1;
    } else {
        record = byKey();  // the begin of a posting whose later parts came first
        if (!numbered) part.number = 1;
    }
    if (record && numbered && part.total > 0 && record->maxTotal > 0 &&
        record->maxTotal != part.total) {
        // The same name split another way (a repost in another number of parts): a set of
        // its own, never mixed with the first.
        Record*& set = m_sets[{record, part.total}];
        if (!set) {
            std::string taken = !record->name.empty() ? record->name : record->subjectName;
            std::string listed = taken.empty() ? taken : DistinctName(taken);
            note("'" + (taken.empty() ? record->subjectKey : taken) + "' was found again in " +
                     std::to_string(part.total) + " parts, where it was in " +
                     std::to_string(record->maxTotal) + "; those parts are listed" +
                     (listed.empty() ? std::string() : " as '" + listed + "'") +
                     ", apart from the others.",
                 kLevelNote);
            PartInfo first = part;
            first.name = listed;
            first.nameCharset.clear();
            set = NewRecord(first, reuse);
            if (!listed.empty()) set->subjectName = listed;
            set->firstSet = record;
            record->namedSet = record;
        }
        record = set;
    }
    if (record && record->numbers.count(part.number) && Whole(part, numbered) && sameFile) {
        // Another file under a name already listed (two mails that each carry
        // "image001.png", a corrected repost): a record of its own, under a name of its own.
        auto differs = [&](Record* r) {
            const PartInfo* old = PartNumbered(*r, part.number);
            return old && !sameFile(*old, part);
        };
        if (differs(record)) {
            std::string taken = record->name.empty() ? safe : record->name;
            std::vector<Record*>& others = m_others[NameKey(taken, part.encoding)];
            auto same =
                std::find_if(others.begin(), others.end(), [&](Record* r) { return !differs(r); });
            if (same != others.end()) {
                record = *same;  // one of those listed under a name of their own, again
            } else {
                part.name = DistinctName(taken);
                note("Another file named '" + taken + "' was found; it is listed as '" + part.name +
                         "'.",
                     kLevelNote);
                record = NewRecord(part, reuse);
                others.push_back(record);
            }
        }
    }
    if (!record) record = NewRecord(part, reuse);
    if (record->subjectName.empty())
        record->subjectName = ListedName(part.subjectName, part.nameCharset);
    if (part.hasBegin && record->name.empty() && record->subjectName.empty()) {
        // Data with a name that cannot be used (none, "..", only separators) is still a file:
        // it is listed, and decoded, under a name of its own until the user renames it.
        record->name = GeneratedName(part);
        m_byName.emplace(NameKey(record->name, part.encoding), record);
        note((part.name.empty() ? std::string("A file without a name")
                                : "'" + part.name + "', which cannot be a file name,") +
                 " is listed as '" + record->name + "'.",
             kLevelNote);
    }
    if (record->subjectKey.empty() && numbered && !part.subjectKey.empty()) {
        record->subjectKey = part.subjectKey;
        m_byKey.emplace(part.subjectKey, record);
    }

    if (part.hasEnd) {
        m_lastOpen = nullptr;
    } else {
        m_lastOpen = record;
        m_lastOpenNumber = part.number;
        m_lastOpenEncoding = part.encoding;
    }

    m_lastAdded = nullptr;
    if (record->numbers.count(part.number)) {
        const std::string& shown = record->name.empty() ? record->subjectKey : record->name;
        std::string which = "Part " + std::to_string(part.number) + " of '" + shown + "'";
        // A checksum that can decide between the copies, decides: a damaged first copy does
        // not hide an intact repost.
        PartInfo* old = PartNumbered(*record, part.number);
        if (old && CheckCopy(*old) == CopyCheck::kBad && CheckCopy(part) == CopyCheck::kGood) {
            note(which +
                     " was found again, and its checksum matches where the first copy's does "
                     "not: this copy is used.",
                 kLevelNote);
            if (replacedKept) *replacedKept = old->kept;
            *old = std::move(part);
            m_dirty.push_back(record);
            return record;
        }
        note(which + " was found again; the first copy is kept.", kLevelNote);
        return nullptr;
    }
    // Appended, and sorted once at the next refresh: parts may come in any order, and
    // inserting each in place would cost quadratic time on a large spool.
    if (!record->parts.empty() && record->parts.back().number > part.number) record->sorted = false;
    m_dirty.push_back(record);
    record->numbers.insert(part.number);
    record->maxTotal = std::max(record->maxTotal, part.total);
    m_lastAdded = record;
    m_lastAddedNumber = part.number;
    record->parts.push_back(std::move(part));
    return record;
}

void Assembly::RefreshOne(Record& r, bool decodeWithErrors) {
    if (!r.sorted) {
        std::sort(r.parts.begin(), r.parts.end(),
                  [](const PartInfo& a, const PartInfo& b) { return a.number < b.number; });
        r.sorted = true;
    }
    bool hasBegin = false, hasEnd = false, hasData = false;
    int total = 0;
    for (const PartInfo& p : r.parts) {
        hasBegin = hasBegin || p.hasBegin;
        hasEnd = hasEnd || p.hasEnd;
        hasData = hasData || p.hasData;
        total = std::max(total, p.total);
    }
    // "end" alone ends the file only after a part whose data ended as a file's does; after any
    // other, the data between them is not here.
    for (size_t i = 1; i < r.parts.size(); ++i) {
        const PartInfo& p = r.parts[i];
        if (p.endOnly && r.parts[i - 1].number == p.number - 1 && !r.parts[i - 1].dataEnded)
            hasEnd = false;
    }
    int highest = r.parts.empty() ? 0 : r.parts.back().number;
    int last = std::max(total, highest);
    r.total = total;
    r.missing.clear();
    size_t k = 0;
    for (int n = 1; n <= last && r.missing.size() < kMaxMissingListed; ++n) {
        while (k < r.parts.size() && r.parts[k].number < n)
            ++k;
        if (k < r.parts.size() && r.parts[k].number == n) continue;
        r.missing.push_back(n);
    }
    bool missing = !r.missing.empty();
    r.missing.push_back(0);

    const std::string& name = r.name.empty() ? r.subjectName : r.name;
    uint32_t state = 0;
    if (missing) state |= kStateMissingParts;
    if (!hasBegin) state |= kStateNoBegin;
    if (!hasEnd) state |= kStateNoEnd;
    if (!hasData) state |= kStateNoData;
    if (r.checksumBad) state |= kStateChecksum;
    if (r.orderUnknown) state |= kStateOrderUnknown;
    bool ready = decodeWithErrors ? (!name.empty() && hasData)
                                  : (!name.empty() && hasData && hasBegin && hasEnd && !missing &&
                                     !r.checksumBad && !r.orderUnknown);
    ready = ready && !r.placeholder;
    if (ready) state |= kStateReady;
    if (r.failed) state |= kStateFailed;

    uint64_t size = r.Size();
    r.pub.state = state;
    r.pub.size = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    r.pub.name = name.empty() ? nullptr : name.c_str();
    r.pub.missingParts = r.missing.data();
    r.pub.partCount = static_cast<int32_t>(r.parts.size());
}

void Assembly::Refresh(bool decodeWithErrors, const Note& note) {
    std::sort(m_dirty.begin(), m_dirty.end());
    m_dirty.erase(std::unique(m_dirty.begin(), m_dirty.end()), m_dirty.end());
    for (Record* r : m_dirty)
        RefreshOne(*r, decodeWithErrors);
    for (Record* r : m_dirty) {
        Record* first = r->firstSet ? r->firstSet : r;
        if (first->namedSet) NameCompleteSet(*first, decodeWithErrors, note);
    }
    m_dirty.clear();
}

void Assembly::NameCompleteSet(Record& first, bool decodeWithErrors, const Note& note) {
    constexpr uint32_t kWrong = kStateMissingParts | kStateNoBegin | kStateNoEnd | kStateNoData |
                                kStateChecksum | kStateOrderUnknown;
    auto complete = [](const Record* r) { return r->pub.name && (r->pub.state & kWrong) == 0; };
    Record* named = first.namedSet;
    if (complete(named)) return;
    auto it = m_sets.lower_bound({&first, INT_MIN});
    for (; it != m_sets.end() && it->first.first == &first; ++it) {
        Record* set = it->second;
        if (!complete(set)) continue;
        std::swap(named->name, set->name);
        std::swap(named->subjectName, set->subjectName);
        first.namedSet = set;
        RefreshOne(*named, decodeWithErrors);
        RefreshOne(*set, decodeWithErrors);
        if (note) {
            const std::string& was = named->name.empty() ? named->subjectName : named->name;
            const std::string& is = set->name.empty() ? set->subjectName : set->name;
            note("'" + is + "' is the posting in " + std::to_string(set->maxTotal) +
                     " parts, which is complete; the one in " + std::to_string(named->maxTotal) +
                     " parts is listed as '" + was + "'.",
                 kLevelNote);
        }
        return;
    }
}

void Assembly::RefreshAll(bool decodeWithErrors) {
    for (auto& r : m_records)
        RefreshOne(*r, decodeWithErrors);
    m_dirty.clear();
}

const Record* Assembly::At(size_t index) const {
    return index < m_records.size() ? m_records[index].get() : nullptr;
}

Record* Assembly::Find(const FileRecord* pub) {
    auto it = m_byPub.find(pub);
    return it == m_byPub.end() ? nullptr : it->second;
}

bool Assembly::LastOpenIs(Encoding encoding) const {
    return m_lastOpen && m_lastOpenEncoding == encoding;
}

PartInfo* Assembly::LastAdded(uint32_t source, uint64_t lineBegin) {
    PartInfo* part = m_lastAdded ? PartNumbered(*m_lastAdded, m_lastAddedNumber) : nullptr;
    return part && part->fileIndex == source && part->end >= lineBegin ? part : nullptr;
}

void Assembly::GapAfterLast(uint32_t source, uint64_t lineBegin) {
    m_gap = m_lastOpen && m_lastOpen == m_lastAdded && LastAdded(source, lineBegin);
}

PartInfo* Assembly::ReopenLast(uint32_t source, uint64_t lineBegin) {
    PartInfo* part = LastAdded(source, lineBegin);
    if (!part) return nullptr;
    m_lastOpen = m_lastAdded;
    m_lastOpenNumber = part->number;
    m_lastOpenEncoding = part->encoding;
    m_dirty.push_back(m_lastAdded);
    return part;
}

void Assembly::Clear() {
    m_records.clear();
    m_byName.clear();
    m_byKey.clear();
    m_byPub.clear();
    m_dirty.clear();
    m_placeholders.clear();
    m_others.clear();
    m_sets.clear();
    m_lastOpen = nullptr;
    m_lastAdded = nullptr;
    m_gap = false;
    m_generated = 0;
}

}  // namespace codec
