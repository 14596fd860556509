// A progress bar on a terminal, for commands that work through many rows.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>

namespace quillet::cli {

// A bar towards the total when it is known, else a running count; nothing when not shown.
class Progress {
  public:
    Progress(std::ostream& err, bool shown, std::optional<std::size_t> total)
        : err_(err), shown_(shown && total != std::size_t{0}), total_(total) {}

    void update(std::size_t done);
    // Takes the bar off its line, so that a message can be written there.
    void clear();

  private:
    std::ostream& err_;
    bool shown_;
    std::optional<std::size_t> total_;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace quillet::cli
