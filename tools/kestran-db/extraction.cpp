#include "extraction.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "common/failure.h"
#include "console.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

using kestran::platform::OutputDirectory;

// Files of one directory go to a thread together, up to this many: threads then mostly
// write into different directories, which the system can make entries in side by side.
constexpr std::size_t kFilesPerTask = 32;
// At most this many tasks wait for a thread. Each holds its directory open, so the
// bound also keeps the open directories far below the usual limit of 1,024 descriptors.
constexpr std::size_t kMaxWaitingTasks = 64;

// Files to write into one directory, held open until they are written.
struct CopyTask {
    std::vector<const PlannedEntry*> entries;
    std::shared_ptr<const OutputDirectory> into;
};

// The tasks waiting for a thread. Threads: tryPush (the planning thread) never waits,
// pop (the copying threads) waits while the queue is empty and not closed; the one
// mutex guards the queue and the flag.
class CopyQueue {
public:
    // Queues the task, unless the queue is full: then the caller keeps it (and copies it
    // itself, instead of waiting).
    bool tryPush(CopyTask& task) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (tasks_.size() >= kMaxWaitingTasks) return false;
        tasks_.push_back(std::move(task));
        notEmpty_.notify_one();
        return true;
    }

    // The next task; none once the queue is closed and empty.
    std::optional<CopyTask> pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        notEmpty_.wait(lock, [&] { return closed_ || !tasks_.empty(); });
        if (tasks_.empty()) return std::nullopt;
        CopyTask task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

    void close() {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::deque<CopyTask> tasks_;
    bool closed_ = false;
};

class Copier {
public:
    Copier(bool keep, ProgressReport& progress) : keep_(keep), progress_(progress) {}

    // Writes a task's files; safe on several threads for different names.
    void copy(const CopyTask& task) const {
        for (const PlannedEntry* entry : task.entries) {
            // Interrupted: the files in hand are finished, no other is begun.
            if (interrupted()) return;
            copy(*entry, *task.into);
        }
    }

private:
    void copy(const PlannedEntry& entry, const OutputDirectory& into) const {
        try {
            // The winning copy straight from the planned node, with no second lookup.
            const kestran_db::FileLocation* winner = entry.node->winner();
            if (winner == nullptr) throw Failure(FailureKind::NotFound, kestran_db::kNoOccurrence);
            const kestran_db::ExtractedFile file(*winner->archive, *winner);
            std::string why;
            // A name that is free is written straight under its own name; only one that
            // is taken (and may be replaced) goes through a temporary name.
            platform::WriteResult result =
                into.writeFile(localName(entry.name), file.data(), file.sizeReal(), false, file.time(), why);
            if (result == platform::WriteResult::AlreadyExists && !keep_)
                result = into.writeFile(localName(entry.name), file.data(), file.sizeReal(), true, file.time(), why);
            switch (result) {
                case platform::WriteResult::Written:
                    break;
                case platform::WriteResult::AlreadyExists:
                    progress_.report("kestran-db extract: kept \"" + printable(shownPath(entry)) +
                                     "\": a file of that name is there (--keep)");
                    break;
                case platform::WriteResult::Failed:
                    progress_.report("kestran-db extract: refused \"" + printable(shownPath(entry)) +
                                     "\": " + printable(why));
                    break;
            }
        } catch (const Failure& e) {
            // The member's archive, when the failure names nothing itself.
            const kestran_db::FileLocation* winner = entry.node->winner();
            const Failure named = !e.subject().empty() || winner == nullptr ? e : e.about(winner->archive->openPath);
            progress_.report("kestran-db extract: " + printable(shownPath(entry)) + ": " + printable(named.describe()));
        } catch (const std::bad_alloc&) {
            progress_.report("kestran-db extract: " + printable(shownPath(entry)) + ": not enough memory");
        } catch (const std::exception& e) {
            progress_.report("kestran-db extract: " + printable(shownPath(entry)) + ": " + e.what());
        }
        progress_.advance();
    }

    bool keep_;
    ProgressReport& progress_;
};

}  // namespace

std::string shownPath(const PlannedEntry& entry) {
    std::string shown(entry.node->path().substr(entry.shownFrom));
    for (char& c : shown)
        if (c == '\\') c = '/';
    return shown;
}

void extractPlan(const ExtractionPlan& plan, OutputDirectory target, bool keep, unsigned jobs,
                 ProgressReport& progress) {
    std::size_t files = 0;
    for (const PlannedEntry& entry : plan) files += entry.isDirectory ? 0 : 1;
    progress.start(files, files > 1 && standardErrorIsConsole());

    const Copier copier(keep, progress);
    CopyQueue queue;
    std::vector<std::thread> threads;
    // However this function is left, the threads are done with the queue first.
    struct Finish {
        CopyQueue& pending;
        std::vector<std::thread>& workers;
        ~Finish() {
            pending.close();
            for (std::thread& worker : workers) worker.join();
        }
    } finish{queue, threads};
    // The planning thread is one of the jobs: it copies whatever finds the queue full.
    const std::size_t helpers = files > 1 ? std::min<std::size_t>(jobs, files) - 1 : 0;
    for (std::size_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back([&] {
                while (const std::optional<CopyTask> task = queue.pop()) copier.copy(*task);
            });
        } catch (const std::system_error&) {
            break;  // fewer threads than asked; the planning thread copies the rest
        }
    }

    // The directories from the target down to the one being filled, each opened through
    // its parent; a directory is closed once its last file is written.
    const auto top = std::make_shared<const OutputDirectory>(std::move(target));
    std::vector<std::pair<std::size_t, std::shared_ptr<const OutputDirectory>>> open;
    std::vector<bool> failed(plan.size(), false);
    CopyTask task;
    const auto handOver = [&] {
        if (task.entries.empty()) return;
        if (threads.empty() || !queue.tryPush(task)) copier.copy(task);
        task = CopyTask();
    };
    for (std::size_t i = 0; i < plan.size() && !interrupted(); ++i) {
        const PlannedEntry& entry = plan[i];
        if (entry.parent && failed[*entry.parent]) {
            failed[i] = true;
            if (!entry.isDirectory) progress.advance();
            continue;
        }
        // Depth-first: the parent is the innermost open directory once those finished
        // are closed.
        while (!open.empty() && (!entry.parent || open.back().first != *entry.parent)) open.pop_back();
        const std::shared_ptr<const OutputDirectory> into = open.empty() ? top : open.back().second;
        if (entry.isDirectory) {
            try {
                open.emplace_back(i,
                                  std::make_shared<const OutputDirectory>(into->subdirectory(localName(entry.name))));
            } catch (const Failure& e) {
                progress.report("kestran-db extract: refused \"" + printable(shownPath(entry)) +
                                "\": " + printable(e.what()));
                failed[i] = true;
            }
            continue;
        }
        if (task.into != into || task.entries.size() == kFilesPerTask) {
            handOver();
            task.into = into;
        }
        task.entries.push_back(&entry);
    }
    handOver();
    queue.close();
    for (std::thread& thread : threads) thread.join();
    threads.clear();
    progress.finish();
}

}  // namespace kestran::cli
