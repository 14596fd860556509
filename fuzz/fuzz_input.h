// What every fuzz target shares: reading typed values from the fuzzer's bytes, and stopping
// with the property that an input broke.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control/quillet.h"

namespace quillet::fuzz {

// A symbology by one byte: the fifteen from 0, then those beyond them.
inline Symbology symbologyOf(std::uint8_t byte) {
    const std::size_t index = byte % (barcodeTypeNames.size() + extendedTypeNames.size());
    if (index < barcodeTypeNames.size()) return static_cast<tBarcodeType>(index);
    return static_cast<ExtendedType>(index - barcodeTypeNames.size());
}

[[noreturn]] inline void fail(const char* property, const std::string& detail) {
    std::fprintf(stderr, "property violated: %s: %s\n", property, detail.c_str());
    std::abort();
}

// The fuzzer's bytes, read front to back; past the end every value reads as zero, so that
// any input is a whole case.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <class Value>
    Value take() {
        std::array<std::uint8_t, sizeof(Value)> bytes{};
        for (auto& byte : bytes) byte = pos_ < size_ ? data_[pos_++] : 0;
        Value value;
        std::memcpy(&value, bytes.data(), sizeof value);
        return value;
    }
    unsigned byte() { return take<std::uint8_t>(); }
    std::string text(std::size_t length) {
        length = std::min(length, size_ - pos_);
        std::string out(reinterpret_cast<const char*>(data_ + pos_), length);
        pos_ += length;
        return out;
    }
    std::string rest() { return text(size_ - pos_); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace quillet::fuzz
