// A sequence that keeps its first InlineCapacity elements inside itself and moves to the heap
// only beyond them, so a drawing call on ordinary data (up to a few hundred characters) allocates
// nothing for its working copies of the data.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quillet {

template <class T, std::size_t InlineCapacity>
class SmallBuffer {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    SmallBuffer() noexcept = default;
    SmallBuffer(const T* values, std::size_t count) { append(values, count); }
    SmallBuffer(const SmallBuffer& other) { append(other.data(), other.size()); }
    SmallBuffer& operator=(const SmallBuffer& other) {
        if (this != &other) {
            clear();
            append(other.data(), other.size());
        }
        return *this;
    }
    ~SmallBuffer() = default;

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    T& operator[](std::size_t index) noexcept { return data_[index]; }
    const T& operator[](std::size_t index) const noexcept { return data_[index]; }
    T& front() noexcept { return data_[0]; }
    const T& front() const noexcept { return data_[0]; }
    T& back() noexcept { return data_[size_ - 1]; }
    const T& back() const noexcept { return data_[size_ - 1]; }
    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + size_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + size_; }

    operator std::basic_string_view<T>() const noexcept requires std::is_same_v<T, char32_t> {
        return {data_, size_};
    }

    void clear() noexcept { size_ = 0; }
    void reserve(std::size_t capacity) {
        if (capacity > capacity_) grow(capacity);
    }
    void push_back(T value) {
        if (size_ == capacity_) grow(size_ + 1);
        data_[size_++] = value;
    }
    void pop_back() noexcept { --size_; }
    void append(const T* values, std::size_t count) {
        reserve(size_ + count);
        std::copy(values, values + count, data_ + size_);
        size_ += count;
    }
    void append(std::size_t count, T value) {
        reserve(size_ + count);
        std::fill(data_ + size_, data_ + size_ + count, value);
        size_ += count;
    }
    void resize(std::size_t count, T value) {
        if (count > size_) {
            append(count - size_, value);
        } else {
            size_ = count;
        }
    }
    // Makes room for count elements whose values the caller writes next.
    void resizeForOverwrite(std::size_t count) {
        reserve(count);
        size_ = count;
    }
    void insertFront(T value) {
        push_back(value);
        std::rotate(data_, data_ + size_ - 1, data_ + size_);
    }
    template <class Predicate>
    void eraseIf(Predicate predicate) {
        size_ = static_cast<std::size_t>(std::remove_if(begin(), end(), predicate) - begin());
    }

  private:
    void grow(std::size_t needed) {
        std::vector<T> larger(std::max(needed, 2 * capacity_));
        std::copy(data_, data_ + size_, larger.begin());
        heap_.swap(larger);
        data_ = heap_.data();
        capacity_ = heap_.size();
    }

    std::array<T, InlineCapacity> inline_;
    std::vector<T> heap_;
    T* data_ = inline_.data();
    std::size_t size_ = 0;
    std::size_t capacity_ = InlineCapacity;
};

}  // namespace quillet
