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

void RowReports::done(std::size_t number, std::optional<std::string> failure) {
    std::lock_guard lock(mutex_);
    waiting_.emplace(number, std::move(failure));
    for (auto next = waiting_.begin(); next != waiting_.end() && next->first == reported_ + 1;
         next = waiting_.erase(next))
        report_(++reported_, next->second);
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
    const auto nextRow = [&]() -> std::optional<Row> {
        std::lock_guard lock(reading);
        if (!readingFailure.empty()) return std::nullopt;
        try {
            return table.next();
        } catch (const std::exception& failure) {
            readingFailure = failure.what();
            return std::nullopt;
        }
    };
    const auto work = [&] {
        const RowWork drawRow = makeWorker();
        while (const std::optional<Row> row = nextRow()) {
            std::optional<std::string> failure;
            try {
                failure = drawRow(*row);
            } catch (const RuntimeError& error) {
                failure = errorMessage(error.number());
            } catch (const std::exception& error) {
                failure = error.what();
            }
            reports.done(row->number, std::move(failure));
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
