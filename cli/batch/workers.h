// Rows drawn by several threads at once, each row a file of its own, reported in row order.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/batch/table_reader.h"

namespace quillet::cli {

// Why a row was not drawn.
struct RowFailure {
    std::string message;
    bool refused = false;  // the checks refused its data
};

// What became of the rows of a folder batch, reported in row order although the workers finish
// them out of turn: a row done early waits here until the rows before it are in.
class RowReports {
  public:
    // Called with each row's number (counting from 1) and its failure, in row order, one call
    // at a time.
    using Report = std::function<void(std::size_t, const std::optional<RowFailure>&)>;
    explicit RowReports(Report report) : report_(std::move(report)) {}

    // The rows numbered from first on, one after another, each with its failure.
    void done(std::size_t first, std::span<std::optional<RowFailure>> failures);

  private:
    Report report_;
    std::mutex mutex_;
    // At most a hand-out of rows a worker, so a short list searched in turn.
    std::vector<std::pair<std::size_t, std::optional<RowFailure>>> waiting_;
    std::size_t reported_ = 0;
};

// Threads when --threads does not say: one for each core, up to a few, since each holds its own
// raster and the disk is shared.
int defaultThreads();

// Draws a row and writes its file; its failure, or nothing. It may throw instead.
using RowWork = std::function<std::optional<RowFailure>(const Row&)>;

// Draws the rows of the table with up to `threads` workers (as many as the system gives), each
// with the work makeWorker gives it (its own raster and buffers), taking the next rows as it
// finishes those it has so that the threads stay busy whatever a row costs: a few at once while
// many of rowTotal are left (one lock for them all), fewer towards the end, one at a time when
// the total is unknown.
// Returns why reading the table failed, "" when it did not; the rows read before that are drawn.
std::string drawRows(TableReader& table, int threads, std::optional<std::size_t> rowTotal,
                     const std::function<RowWork()>& makeWorker, const RowReports::Report& report);

}  // namespace quillet::cli
