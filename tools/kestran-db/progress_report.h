#pragma once
// What a long command tells the user while it runs: messages, one per line, and a
// progress bar on standard error that counts finished items, redrawn at most ten
// times a second and only where standard error is a console. Messages go between its
// redraws, so that neither breaks the other.
//
// Threads: every member may be called from any thread at the same time; one mutex
// guards the counts and standard error, held only while a line or the bar is written.
// Without a bar, advance() takes no lock at all.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace kestran::cli {

class ProgressReport {
public:
    // A message that something was not done; anyReported() is true from now on.
    void report(const std::string& text);
    bool anyReported() const;

    // Starts counting total items; the bar is drawn only when shown.
    void start(std::size_t total, bool shown);
    // One more item is finished.
    void advance();
    // Ends the bar's line.
    void finish();

private:
    static constexpr std::size_t kWidth = 40;
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    void clearBar();
    void drawBar();

    mutable std::mutex mutex_;
    bool anyReported_ = false;
    std::atomic<bool> shown_{false};  // read without the mutex: no bar, nothing to count
    std::size_t total_ = 0;
    std::size_t done_ = 0;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

}  // namespace kestran::cli
