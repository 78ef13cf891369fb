// Decoding many records in one call: the calling thread and a helper take the records in turn.
// Small files spend nearly all their time in the system (opening, creating, linking), and two
// threads do twice as many of those as one. What callers see stays as if the records were
// decoded one by one: messages and results in the order of the records, records of one name
// one after the other.
#include <algorithm>
#include <new>
#include <thread>
#include <unordered_set>

#include "library_impl.h"

namespace codec {

thread_local CodecLibrary::Impl::MessageLog* CodecLibrary::Impl::t_log = nullptr;
thread_local bool CodecLibrary::Impl::t_helper = false;

namespace {

// Fewer records than this are decoded one by one: a thread costs more than it saves.
constexpr size_t kShareFrom = 8;

}  // namespace

int CodecLibrary::Impl::DecodeMany(const std::vector<Record*>& records,
                                   const std::vector<std::string>& names, int* results) {
    const size_t n = records.size();
    canceled = false;
    Fd dirFd;
    bool share = n >= kShareFrom && std::thread::hardware_concurrency() >= 2;
    if (!share || OpenOutputDir(dirFd, true) != kOk) {
        // One by one, exactly as DecodeFile (which says why a directory cannot be opened).
        for (size_t i = 0; i < n; ++i) {
            results[i] = canceled ? kCanceled : Decode(*records[i], names[i]);
            assembly.RefreshOne(*records[i], decodeWithErrors);
        }
        return canceled ? kCanceled : kOk;
    }

    struct Job {
        MessageLog log;
        int result = kOk;
        std::atomic<bool> done{false};
    };
    std::vector<Job> jobs(n);
    // Taken by either thread, in order: every record but those decoded one by one afterwards
    // by this thread, which are a record of a name met before in the batch (it must follow
    // that one: without overwrite, the first of a name is kept) and a record whose data the
    // load kept (that is this thread's to take).
    std::vector<size_t> shared, serial;
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < n; ++i) {
        const Record& r = *records[i];
        bool keptData = r.parts.size() == 1 && kept.count(r.parts[0].kept) != 0;
        bool repeated = !seen.insert(names[i]).second;
        (keptData || repeated ? serial : shared).push_back(i);
    }

    auto run = [&](size_t i, std::vector<char>& readBuf, std::vector<uint8_t>& writeBuf) {
        Job& job = jobs[i];
        t_log = &job.log;
        try {
            // After a cancel nothing more is begun, and nothing more is said.
            job.result = canceled.load(std::memory_order_relaxed)
                             ? kCanceled
                             : CheckDecodable(*records[i], names[i]);
            if (job.result == kOk) {
                std::unique_ptr<Kept> loaded;
                if (!t_helper) loaded = TakeKept(*records[i], dirFd.get());
                job.result =
                    DecodeTo(*records[i], names[i], dirFd.get(), loaded.get(), readBuf, writeBuf);
            }
        } catch (const std::bad_alloc&) {
            job.result = kNoMemory;
        } catch (...) {
            job.result = kInternalError;
        }
        t_log = nullptr;
        job.done.store(true, std::memory_order_release);
    };
    // Reports the records done, in order, up to the first one still under way.
    size_t reported = 0;
    auto report = [&] {
        for (; reported < n && jobs[reported].done.load(std::memory_order_acquire); ++reported) {
            for (const auto& [level, text] : jobs[reported].log)
                Message(level, text);
            results[reported] = jobs[reported].result;
            assembly.RefreshOne(*records[reported], decodeWithErrors);
        }
    };

    std::atomic<size_t> next{0};
    auto take = [&](std::vector<char>& readBuf, std::vector<uint8_t>& writeBuf, bool reports) {
        for (size_t k; (k = next.fetch_add(1)) < shared.size();) {
            run(shared[k], readBuf, writeBuf);
            if (reports) report();
        }
    };
    std::thread helper;
    try {
        helper = std::thread([&] {
            t_helper = true;
            std::vector<char> readBuf;
            std::vector<uint8_t> writeBuf;
            take(readBuf, writeBuf, false);
        });
    } catch (const std::exception&) {
        // No second thread to be had: this one takes every record.
    }
    take(readBuffer, writeBuffer, true);
    if (helper.joinable()) helper.join();
    for (size_t i : serial) {
        run(i, readBuffer, writeBuffer);
        report();
    }
    report();
    return canceled ? kCanceled : kOk;
}

}  // namespace codec
