#pragma once
// Compares files on worker threads while the caller goes on scanning, and
// hands the outcomes back strictly in the order the files were handed in.
// Standard threads only; the caller's thread is the only one that submits,
// takes outcomes or stops the workers.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "compare/file.h"
#include "compare/file_compare.h"
#include "compare/file_exception.h"

namespace qvr {

struct CompareOutcome {
    bool same = false;
    FileStatus secondStatus;                // as the compare opened the second file
    std::optional<CFileException> error;    // what the compare raised, if anything
};

class ComparePipeline {
public:
    // workers: how many threads compare (at least one). They start with the
    // first submitted compare and end at Stop.
    explicit ComparePipeline(int workers);
    ~ComparePipeline();
    ComparePipeline(const ComparePipeline&) = delete;
    ComparePipeline& operator=(const ComparePipeline&) = delete;

    // Queues FilesHaveSameChecksum(firstPath, secondPath). Compares of one
    // folder level share the workers' open folders; a new level closes them.
    // With a known digest of the second file, only the first is read
    // (CopyMatchesDigest); the digest must outlive the compare.
    void Submit(std::string firstPath, std::string secondPath, std::uint64_t folderLevel,
                const LocalDigest* secondDigest = nullptr);
    // The outcome of the oldest compare not yet taken, waiting at most
    // timeout for it; false while it is still running.
    bool TakeOldest(CompareOutcome& outcome, std::chrono::milliseconds timeout);
    // Waits at most timeout until the count oldest compares (or all there
    // are, if fewer) are done; true when they are.
    bool WaitForOldest(std::size_t count, std::chrono::milliseconds timeout);
    // Compares submitted and not yet taken.
    std::size_t Pending() const;
    // Drops every compare not yet taken and ends the workers, which stop
    // reading at their next block; the workers' open folders are closed.
    void Stop();

private:
    struct Slot {
        std::string firstPath;
        std::string secondPath;
        std::uint64_t folderLevel = 0;
        const LocalDigest* secondDigest = nullptr;
        bool done = false;
        CompareOutcome outcome;
    };
    void Work();

    const int m_workerCount;
    mutable std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_slotDone;
    std::deque<Slot> m_slots;    // oldest first; references stay valid as it grows
    std::size_t m_nextToStart = 0;  // index of the first slot no worker has taken
    std::size_t m_doneAtFront = 0;  // slots at the front that are all done
    std::size_t m_wanted = 0;       // done slots at the front the caller waits for
    int m_idleWorkers = 0;          // workers waiting for a compare to start
    bool m_stopping = false;
    std::atomic<bool> m_abandon{false};  // tells running compares to stop reading
    std::vector<std::thread> m_workers;
};

}  // namespace qvr
