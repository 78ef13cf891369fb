// Loading and decoding many files in one call, on two threads. Small files spend nearly all
// their time in the system (opening, reading, creating, linking), and two threads make twice as
// many of those calls as one. What callers see stays as if the files were loaded or decoded
// one by one, in order: the callbacks come on the calling thread, messages and results in the
// order given.
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_set>

#include "library/library_impl.h"

namespace codec {

thread_local CodecLibrary::Impl::MessageLog* CodecLibrary::Impl::t_log = nullptr;
thread_local bool CodecLibrary::Impl::t_helper = false;

namespace {

// Fewer files than this are loaded or decoded one by one: a thread costs more than it saves.
constexpr size_t kShareFrom = 8;

bool TwoThreadsPay(size_t files) {
    return files >= kShareFrom && std::thread::hardware_concurrency() >= 2;
}

// Loading reads ahead files up to this size, whole, handed over in batches (one hand-over per
// file would cost more than the read) of so many files or bytes.
constexpr off_t kAheadFileSize = 256 * 1024;
constexpr size_t kBatchFiles = 64;
constexpr size_t kBatchBytes = 1u << 20;
constexpr size_t kBatches = 4;  // in all: being read, read, being loaded

// Files read ahead: each one's bytes in `bytes`, or not read (kNotRead). The buffer
// holds a batch however its last file ends it, and goes round again once loaded: new pages
// for every batch would cost as much as reading them.
struct AheadBatch {
    static constexpr size_t kNotRead = SIZE_MAX;
    static constexpr size_t kCapacity = kBatchBytes + kAheadFileSize;
    struct File {
        const char* data = nullptr;
        size_t size = kNotRead;
        struct stat st = {};  // when it was opened
    };
    std::unique_ptr<char[]> bytes{new char[kCapacity]};
    size_t used = 0;
    std::vector<File> files;
};

// Appends a regular file of at most kAheadFileSize bytes (as many as it has when opened).
// Not read when it cannot be, or is larger: the load then reads it itself, and says why it
// cannot.
AheadBatch::File ReadAhead(const char* path, AheadBatch& batch) {
    AheadBatch::File file;
    char* at = batch.bytes.get() + batch.used;
    if (!path || !*path) return file;
    Fd fd;
    if (OpenInputFile(path, fd, file.st) != 0 || !S_ISREG(file.st.st_mode) ||
        file.st.st_size == 0 || file.st.st_size > kAheadFileSize)
        return file;
    size_t got = 0, want = static_cast<size_t>(file.st.st_size);
    while (got < want) {
        ssize_t n = ReadAt(fd.get(), at + got, want - got, got);
        if (n < 0) return file;
        if (n == 0) break;  // it shrank meanwhile
        got += static_cast<size_t>(n);
    }
    batch.used += got;
    file.data = at;
    file.size = got;
    return file;
}

}  // namespace

int CodecLibrary::Impl::LoadMany(const char* const* paths, int count, int* results) {
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    size_t i = 0;
    // Loads the files from i on; ahead() gives the next file when it was read ahead (else
    // null: the load reads the file itself).
    auto loadRest = [&](const std::function<const AheadBatch::File*()>& ahead) {
        for (; i < n; ++i) {
            const AheadBatch::File* file = ahead();
            results[i] = file ? LoadOne(paths[i], file->data, file->size, &file->st)
                              : LoadOne(paths[i], nullptr, 0, nullptr);
            if (results[i] == kCanceled) break;
        }
        for (size_t k = i; k < n; ++k)
            results[k] = kCanceled;
        return i < n ? kCanceled : kOk;
    };
    auto none = []() -> const AheadBatch::File* { return nullptr; };
    if (!TwoThreadsPay(n)) return loadRest(none);

    // Batches go round: the reader fills a spare one and queues it, the load takes the queued
    // ones in order and gives each back once loaded. All are made here, so the reader never
    // allocates.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<AheadBatch>> queue, spare;
    bool stop = false;
    std::thread reader;
    try {
        queue.reserve(kBatches);
        spare.reserve(kBatches);
        for (size_t k = 0; k < kBatches; ++k) {
            spare.push_back(std::make_unique<AheadBatch>());
            spare.back()->files.reserve(kBatchFiles);
        }
        reader = std::thread([&] {
            std::unique_ptr<AheadBatch> batch;
            for (size_t k = 0; k < n; ++k) {
                if (!batch) {
                    std::unique_lock<std::mutex> lock(mutex);
                    changed.wait(lock, [&] { return stop || !spare.empty(); });
                    if (stop) return;
                    batch = std::move(spare.back());
                    spare.pop_back();
                    batch->used = 0;
                    batch->files.clear();
                }
                batch->files.push_back(ReadAhead(paths[k], *batch));
                if (batch->files.size() < kBatchFiles && batch->used < kBatchBytes && k + 1 < n)
                    continue;
                std::lock_guard<std::mutex> lock(mutex);
                queue.push_back(std::move(batch));
                changed.notify_all();
            }
        });
    } catch (const std::exception&) {
        return loadRest(none);  // no second thread, or no memory for it
    }
    std::unique_ptr<AheadBatch> current;
    size_t next = 0;
    int rc = loadRest([&]() -> const AheadBatch::File* {
        if (!current || next == current->files.size()) {
            std::unique_lock<std::mutex> lock(mutex);
            if (current) spare.push_back(std::move(current));
            changed.notify_all();
            changed.wait(lock, [&] { return !queue.empty(); });
            current = std::move(queue.front());
            queue.erase(queue.begin());
            next = 0;
        }
        const AheadBatch::File& file = current->files[next++];
        return file.size == AheadBatch::kNotRead ? nullptr : &file;
    });
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    changed.notify_all();
    reader.join();
    return rc;
}

int CodecLibrary::Impl::DecodeMany(const std::vector<Record*>& records, int* results) {
    const size_t n = records.size();
    std::vector<std::string> names;  // as they are now: a rename meanwhile is not for this call
    for (const Record* r : records)
        names.emplace_back(r->pub.name ? r->pub.name : "");
    canceled = false;
    Fd dirFd;
    if (!TwoThreadsPay(n) || OpenOutputDir(dirFd, true) != kOk) {
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
        bool keptData = !r.parts.empty() && kept.count(r.parts[0].kept) != 0;
        bool repeated = !seen.insert(names[i]).second;
        (keptData || repeated ? serial : shared).push_back(i);
    }

    auto run = [&](size_t i, std::vector<char>& readBuf, std::vector<uint8_t>& writeBuf) {
        Job& job = jobs[i];
        t_log = &job.log;
        job.result = Guarded([&]() -> int {
            // After a cancel nothing more is begun, and nothing more is said.
            int rc = canceled.load(std::memory_order_relaxed)
                         ? kCanceled
                         : CheckDecodable(*records[i], names[i]);
            if (rc != kOk) return rc;
            std::unique_ptr<Kept> loaded;
            if (!t_helper) loaded = TakeKept(*records[i], dirFd.get());
            return DecodeTo(*records[i], names[i], dirFd.get(), loaded.get(), readBuf, writeBuf);
        });
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
