#include "progress_report.h"

#include <iostream>

namespace kestran::cli {

void ProgressReport::report(const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    anyReported_ = true;
    clearBar();
    std::cerr << text << '\n';
    drawBar();
}

bool ProgressReport::anyReported() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return anyReported_;
}

void ProgressReport::start(std::size_t total, bool shown) {
    const std::lock_guard<std::mutex> lock(mutex_);
    total_ = total;
    done_ = 0;
    shown_ = shown;
    drawBar();
}

void ProgressReport::advance() {
    if (!shown_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    const auto now = std::chrono::steady_clock::now();
    if (done_ == total_ || now - lastDrawn_ >= kRedrawInterval) drawBar();
}

void ProgressReport::finish() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (shown_) std::cerr << '\n' << std::flush;
    shown_ = false;
}

void ProgressReport::clearBar() {
    if (shown_) std::cerr << '\r' << std::string(kWidth + 24, ' ') << '\r';
}

void ProgressReport::drawBar() {
    if (!shown_) return;
    lastDrawn_ = std::chrono::steady_clock::now();
    const std::size_t filled = total_ == 0 ? kWidth : done_ * kWidth / total_;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << done_ << '/'
              << total_ << std::flush;
}

}  // namespace kestran::cli
