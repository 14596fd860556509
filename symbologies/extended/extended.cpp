#include "symbologies/extended/extended.h"

namespace quillet {
namespace {

using DrawingFunction = std::int16_t (*)(const Arguments&);

// Indexed by ExtendedType.
constexpr std::array<DrawingFunction, 7> drawingFunctions = {
    drawCode128Auto, drawGs1_128,   drawItf14,          drawEan13AddOn,
    drawUpcAAddOn,   drawUpcEAddOn, drawIntelligentMail};
static_assert(drawingFunctions.size() == extendedTypeNames.size());

}  // namespace

std::int16_t drawExtended(ExtendedType type, const Arguments& arguments) {
    const auto index = static_cast<std::size_t>(type);
    if (index >= drawingFunctions.size()) raise(error::invalidArgument);
    return drawingFunctions[index](arguments);
}

std::optional<DataProblem> checkExtendedData(ExtendedType type, std::string_view code) {
    try {
        switch (type) {
            case ExtendedType::Code_128_Auto: {
                // Any data of codes 0-255 has a plan: the codes alone tell.
                extended::Codes codes;
                extended::code128Codes(code, codes);
                break;
            }
            case ExtendedType::GS1_128:
                extended::parseGs1(code);
                break;
            case ExtendedType::ITF_14:
                extended::itf14Digits(code);
                break;
            case ExtendedType::EAN_13_AddOn:
            case ExtendedType::UPC_A_AddOn:
            case ExtendedType::UPC_E_AddOn:
                extended::parseAddOnData(type, code);
                break;
            case ExtendedType::Intelligent_Mail:
                extended::intelligentMailBars(code);
                break;
        }
    } catch (const DataError& problem) {
        return DataProblem{problem.id(), problem.message()};
    }
    return std::nullopt;
}

}  // namespace quillet
