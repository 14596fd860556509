#include "cli/progress.h"

#include <algorithm>
#include <string>

namespace quillet::cli {

void Progress::update(std::size_t done) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (done != total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    if (!total_) {
        err_ << "\r" << done << " rows" << std::flush;
        return;
    }
    constexpr std::size_t barWidth = 40;
    const std::size_t filled = std::min(done, *total_) * barWidth / *total_;
    err_ << "\r[" << std::string(filled, '#') << std::string(barWidth - filled, '.') << "] " << done
         << "/" << *total_ << std::flush;
}

void Progress::clear() {
    if (shown_) err_ << "\r\033[K" << std::flush;
}

}  // namespace quillet::cli
