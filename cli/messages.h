// How the commands word a method's result and a run-time error.
#pragma once

#include <cstdint>
#include <string>

namespace quillet::cli {

// "380 (Invalid property value)": the number and what it means.
std::string numberAndMeaning(std::int32_t number);
// "result 1 (...)": a method's non-zero result.
std::string resultMessage(std::int32_t result);
// "error 380 (...) before drawing": a run-time error raised before a symbol was drawn.
std::string errorMessage(std::int32_t number);

}  // namespace quillet::cli
