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

void RowReports::done(std::size_t number, std::optional<RowFailure> failure) {
    std::lock_guard lock(mutex_);
    if (number != reported_ + 1) {
        waiting_.emplace_back(number, std::move(failure));
        return;
    }
    report_(++reported_, failure);
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

std::string drawRows(TableReader& table, int threads, const std::function<RowWork()>& makeWorker,
                     const RowReports::Report& report) {
    RowReports reports(report);
    std::mutex reading;  // the table, and the first failure to read it
    std::string readingFailure;
    const auto nextRow = [&](Row& row) {
        std::lock_guard lock(reading);
        if (!readingFailure.empty()) return false;
        try {
            return table.next(row);
        } catch (const std::exception& failure) {
            readingFailure = failure.what();
            return false;
        }
    };
    const auto work = [&] {
        const RowWork drawRow = makeWorker();
        Row row;  // read into by each turn, keeping the room its fields took
        while (nextRow(row)) {
            std::optional<RowFailure> failure;
            try {
                failure = drawRow(row);
            } catch (const RuntimeError& error) {
                failure = RowFailure{errorMessage(error.number()), false};
            } catch (const std::exception& error) {
                failure = RowFailure{error.what(), false};
            }
            reports.done(row.number, std::move(failure));
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
