#include "cli/messages.h"

#include "control/quillet.h"

namespace quillet::cli {

std::string numberAndMeaning(std::int32_t number) {
    return std::to_string(number) + " (" + describeError(number) + ")";
}

std::string resultMessage(std::int32_t result) {
    return "result " + numberAndMeaning(result);
}

std::string errorMessage(std::int32_t number) {
    return "error " + numberAndMeaning(number) + " before drawing";
}

}  // namespace quillet::cli
