#include "compare/compare_pipeline.h"

#include <algorithm>
#include <utility>

#include "compare/file_compare.h"

namespace qvr {
namespace {

// Compares queued before idle workers are woken for them.
constexpr std::size_t kWakeBatch = 16;

}  // namespace

ComparePipeline::ComparePipeline(int workers) : m_workerCount(std::max(1, workers)) {}

ComparePipeline::~ComparePipeline() { Stop(); }

void ComparePipeline::Submit(std::string firstPath, std::string secondPath, std::uint64_t folderLevel,
                             const LocalDigest* secondDigest) {
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        Slot& slot = m_slots.emplace_back();
        slot.firstPath = std::move(firstPath);
        slot.secondPath = std::move(secondPath);
        slot.folderLevel = folderLevel;
        slot.secondDigest = secondDigest;
        // Idle workers are woken for a batch, not for every compare: each
        // wake costs a switch on both sides, more than a small file's compare.
        wake = m_idleWorkers > 0 && m_slots.size() - m_nextToStart >= kWakeBatch;
    }
    if (wake) m_workAvailable.notify_all();
    if (m_workers.empty()) {
        m_stopping = false;
        m_abandon = false;
        for (int i = 0; i < m_workerCount; ++i) m_workers.emplace_back([this] { Work(); });
    }
}

bool ComparePipeline::TakeOldest(CompareOutcome& outcome, std::chrono::milliseconds timeout) {
    if (timeout.count() > 0 && !WaitForOldest(1, timeout)) return false;
    // Looking without waiting costs no system call.
    const std::lock_guard lock(m_mutex);
    if (m_slots.empty() || !m_slots.front().done) return false;
    outcome = std::move(m_slots.front().outcome);
    m_slots.pop_front();
    --m_nextToStart;
    --m_doneAtFront;
    return true;
}

bool ComparePipeline::WaitForOldest(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    // Compares queued short of a batch start now: the caller waits for them.
    if (m_idleWorkers > 0 && m_nextToStart < m_slots.size()) m_workAvailable.notify_all();
    m_wanted = std::min(count, m_slots.size());
    const bool done = m_slotDone.wait_for(lock, timeout, [this] { return m_doneAtFront >= m_wanted; });
    m_wanted = 0;
    return done;
}

std::size_t ComparePipeline::Pending() const {
    const std::lock_guard lock(m_mutex);
    return m_slots.size();
}

void ComparePipeline::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_abandon = true;
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers) worker.join();
    m_workers.clear();
    m_slots.clear();
    m_nextToStart = 0;
    m_doneAtFront = 0;
}

void ComparePipeline::Work() {
    // Each worker keeps its own folders open; they close when a compare of
    // another folder level comes and when the worker ends.
    DirectoryHandles directories;
    std::uint64_t folderLevel = 0;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_stopping && m_nextToStart == m_slots.size()) {
            ++m_idleWorkers;
            m_workAvailable.wait(lock, [this] { return m_stopping || m_nextToStart < m_slots.size(); });
            --m_idleWorkers;
        }
        if (m_stopping) return;
        Slot& slot = m_slots[m_nextToStart++];
        lock.unlock();
        if (slot.folderLevel != folderLevel) {
            directories.Forget();
            folderLevel = slot.folderLevel;
        }
        CompareOutcome outcome;
        try {
            outcome.same = CopyMatchesDigest(slot.firstPath, slot.secondPath, slot.secondDigest,
                                             outcome.secondStatus, &directories, &m_abandon) == 1;
        } catch (const CFileException& error) {
            outcome.error = error;
        }
        lock.lock();
        slot.outcome = std::move(outcome);
        slot.done = true;
        while (m_doneAtFront < m_slots.size() && m_slots[m_doneAtFront].done) ++m_doneAtFront;
        // The caller is woken only when all it waits for is done: waking it
        // for every file would cost two switches per file.
        if (m_wanted > 0 && m_doneAtFront >= m_wanted) m_slotDone.notify_one();
    }
}

}  // namespace qvr
