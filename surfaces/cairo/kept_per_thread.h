// A few cairo objects kept per thread, each with what is known of it. cairo looks fonts up under
// locks of its own that every thread drawing text would otherwise wait on, for every symbol; a
// thread that keeps its own references asks cairo once.
#pragma once

#include <array>
#include <cstddef>

namespace quillet {

// Entry holds the reference in its member `object`, released with `release`. The slot filled
// longest ago is the next to be reused; every reference is released when the thread ends.
template <class Entry, auto object, auto release>
class KeptPerThread {
  public:
    KeptPerThread() = default;
    KeptPerThread(const KeptPerThread&) = delete;
    KeptPerThread& operator=(const KeptPerThread&) = delete;
    ~KeptPerThread() {
        for (Entry& entry : entries_)
            if (entry.*object != nullptr) release(entry.*object);
    }

    // The first kept entry that matches, or nothing.
    template <class Match>
    Entry* find(Match&& match) {
        for (Entry& entry : entries_)
            if (entry.*object != nullptr && match(entry)) return &entry;
        return nullptr;
    }

    // The slot to fill next, its reference released; the rest of the entry is left as it was
    // for the caller to set.
    Entry& reuse() {
        Entry& entry = entries_[next_];
        next_ = (next_ + 1) % entries_.size();
        if (entry.*object != nullptr) release(entry.*object);
        entry.*object = nullptr;
        return entry;
    }

  private:
    std::array<Entry, 4> entries_{};
    std::size_t next_ = 0;
};

}  // namespace quillet
