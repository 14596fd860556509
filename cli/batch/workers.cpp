#ifdef QUILLET_WITH_CAIRO
#include "cli/batch/workers.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "cli/messages.h"
#include "render/errors.h"

namespace quillet::cli {

void RowReports::done(std::size_t first, std::span<std::optional<RowFailure>> failures) {
    std::lock_guard lock(mutex_);
    if (first != reported_ + 1) {
        for (auto& failure : failures) waiting_.emplace_back(first++, std::move(failure));
        return;
    }
    for (const auto& failure : failures) report_(++reported_, failure);
    const auto nextWaiting = [&] {
        return std::find_if(waiting_.begin(), waiting_.end(),
                            [&](const auto& waiting) { return waiting.first == reported_ + 1; });
    };
    for (auto next = nextWaiting(); next != waiting_.end(); next = nextWaiting()) {
        report_(++reported_, next->second);
        if (next != waiting_.end() - 1) std::swap(*next, waiting_.back());
        waiting_.pop_back();
    }
}

int defaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 8u));
}

namespace {

// How many rows a worker takes next, rowsRead of rowTotal read.
std::size_t rowsAtOnce(std::optional<std::size_t> rowTotal, std::size_t rowsRead, int threads) {
    constexpr std::size_t most = 16;
    // Without a known end (a pipe) a row at a time: the rows read wait for no others to come.
    if (!rowTotal || *rowTotal <= rowsRead) return 1;
    // Fewer as the table runs out, so that the threads end together.
    const std::size_t left = (*rowTotal - rowsRead) / (2 * static_cast<std::size_t>(threads));
    return std::clamp<std::size_t>(left, 1, most);
}

}  // namespace

std::string drawRows(TableReader& table, int threads, std::optional<std::size_t> rowTotal,
                     const std::function<RowWork()>& makeWorker, const RowReports::Report& report) {
    RowReports reports(report);
    std::mutex reading;  // the table, and the first failure to read it
    std::string readingFailure;
    // The next few rows into rows, keeping the room their fields took; how many.
    const auto nextRows = [&](std::vector<Row>& rows) -> std::size_t {
        std::lock_guard lock(reading);
        if (!readingFailure.empty()) return 0;
        const std::size_t wanted = rowsAtOnce(rowTotal, table.rowsRead(), threads);
        if (rows.size() < wanted) rows.resize(wanted);
        std::size_t count = 0;
        try {
            while (count < wanted && table.next(rows[count])) ++count;
        } catch (const std::exception& failure) {
            readingFailure = failure.what();
        }
        return count;
    };
    const auto work = [&] {
        const RowWork drawRow = makeWorker();
        std::vector<Row> rows;
        std::vector<std::optional<RowFailure>> failures;
        for (std::size_t count = nextRows(rows); count > 0; count = nextRows(rows)) {
            failures.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                std::optional<RowFailure>& failure = failures[i];
                try {
                    failure = drawRow(rows[i]);
                } catch (const RuntimeError& error) {
                    failure = RowFailure{errorMessage(error.number()), false};
                } catch (const std::exception& error) {
                    failure = RowFailure{error.what(), false};
                }
            }
            reports.done(rows[0].number, std::span(failures.data(), count));
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // The threads the system gives are enough: this one works as well.
    }
    work();
    for (auto& helper : helpers) helper.join();
    return readingFailure;
}

}  // namespace quillet::cli
#endif
