// EAN-13, UPC-A and UPC-E with a two- or five-digit add-on ("9771234567003+05",
// "9780306406157+51299"): the main symbol as its own method draws it, then the gap the GS1 General
// Specifications ask for at the least (7 modules after EAN-13 and UPC-E, 9 after UPC-A), then the
// add-on. Its bars start below its digits, which stand above them, and reach down as far as the
// main symbol's guard bars. Unlike the methods without add-on, the data is checked: digits only,
// and a check digit given with the data must be right.
#include "render/numeric.h"
#include "symbologies/ean_upc/ean13.h"
#include "symbologies/ean_upc/tables.h"
#include "symbologies/ean_upc/upca.h"
#include "symbologies/ean_upc/upce.h"
#include "symbologies/extended/extended.h"

namespace quillet::extended {
namespace {

// Parity of the two-digit add-on by its value modulo 4, of the five-digit add-on by its check
// value ("0" L, "1" G): GS1 General Specifications 5.2.2.6.
constexpr std::array<std::string_view, 4> twoDigitParity = {"00", "01", "10", "11"};
constexpr std::array<std::string_view, 10> fiveDigitParity = {
    "11000", "10100", "10010", "10001", "01100", "00110", "00011", "01010", "01001", "00101"};
constexpr std::string_view addOnGuard = "1011";
constexpr std::string_view addOnSeparator = "01";

static_assert([] {
    for (const std::string_view parity : fiveDigitParity) {
        int even = 0;
        for (const char set : parity) even += set == '1';
        if (parity.size() != 5 || even != 2) return false;
    }
    return true;
}());

std::string_view symbolName(ExtendedType type) {
    return type == ExtendedType::EAN_13_AddOn  ? "EAN-13"
           : type == ExtendedType::UPC_A_AddOn ? "UPC-A"
                                               : "UPC-E";
}

Characters wide(std::string_view digits) {
    Characters out;
    for (const char c : digits) out.push_back(static_cast<char32_t>(c));
    return out;
}

// The check digit that closes `digits` (for UPC-E: number system and body, expanded first).
char checkDigitFor(ExtendedType type, std::string_view digits) {
    if (type != ExtendedType::UPC_E_AddOn)
        return static_cast<char>(ean_upc::checkDigit(wide(digits)));
    ean_upc::UpcEExpansion expansion;
    const Characters body = wide(digits.substr(1, upce::bodyLength));
    return static_cast<char>(ean_upc::checkDigit(
        ean_upc::expandUpcE(body, expansion, static_cast<char32_t>(digits[0]))));
}

}  // namespace

AddOnData parseAddOnData(ExtendedType type, std::string_view code) {
    const std::string_view text = trimSpaces(code);
    const std::size_t plus = text.find('+');
    AddOnData out;
    out.main = std::string(trimSpaces(text.substr(0, plus)));
    if (plus != std::string_view::npos) out.addOn = std::string(trimSpaces(text.substr(plus + 1)));
    const std::string name(symbolName(type));
    for (const std::string_view part : {std::string_view(out.main), std::string_view(out.addOn)}) {
        for (const char c : part) {
            if (c < '0' || c > '9')
                throw DataError("addon.digits",
                                {name, " with add-on takes digits and one \"+\", not \"",
                                 std::string_view(&c, 1), "\""});
        }
    }
    // Without its check digit, and with it. UPC-E may leave out the number system 0.
    const std::size_t shortest = type == ExtendedType::EAN_13_AddOn  ? 12
                                 : type == ExtendedType::UPC_A_AddOn ? 11
                                                                     : 6;
    const std::size_t length = out.main.size();
    const bool upcE = type == ExtendedType::UPC_E_AddOn;
    if (length != shortest && length != shortest + 1 && !(upcE && length == shortest + 2)) {
        throw DataError("addon.length", {name, " takes ", std::to_string(shortest), " or ",
                                         std::to_string(shortest + 1), " digits",
                                         (upcE ? " (or 8: number system, body, check digit)" : ""),
                                         " before the \"+\", not ", std::to_string(length)});
    }
    if (upcE && length == shortest) out.main = joinText({"0", out.main});
    if (upcE && out.main[0] != '0' && out.main[0] != '1') {
        throw DataError("addon.number-system",
                        {"UPC-E's number system is 0 or 1, not ", out.main.substr(0, 1)});
    }
    const std::size_t dataLength = upcE ? 7 : shortest;
    const char check = checkDigitFor(type, std::string_view(out.main).substr(0, dataLength));
    if (out.main.size() > dataLength && out.main[dataLength] != check) {
        throw DataError("addon.check-digit",
                        {"the check digit of ", out.main.substr(0, dataLength), " is ",
                         std::string_view(&check, 1), ", not ", out.main.substr(dataLength)});
    }
    out.main.resize(dataLength);
    out.main.push_back(check);
    if (plus != std::string_view::npos && out.addOn.size() != 2 && out.addOn.size() != 5) {
        throw DataError("addon.length",
                        {"an add-on has 2 or 5 digits, not ", std::to_string(out.addOn.size())});
    }
    return out;
}

std::string_view addOnModules(std::string_view addOn, AddOnModules& out) {
    std::size_t length = 0;
    const auto put = [&](std::string_view modules) {
        for (const char module : modules) out[length++] = module;
    };
    std::string_view parity;
    if (addOn.size() == 2) {
        parity =
            twoDigitParity[static_cast<std::size_t>(((addOn[0] - '0') * 10 + addOn[1] - '0') % 4)];
    } else {
        int sum = 0;
        for (std::size_t i = 0; i < addOn.size(); ++i)
            sum += (addOn[i] - '0') * (i % 2 == 0 ? 3 : 9);
        parity = fiveDigitParity[static_cast<std::size_t>(sum % 10)];
    }
    put(addOnGuard);
    for (std::size_t i = 0; i < addOn.size(); ++i) {
        if (i > 0) put(addOnSeparator);
        put(ean_upc::leftSet(parity[i])[static_cast<std::size_t>(addOn[i] - '0')]);
    }
    return {out.data(), length};
}

}  // namespace quillet::extended

namespace quillet {
namespace {

// The add-on after the gap: its digits from pY, each above its seven modules, and its bars from
// below the digits down to the guard bars' depth.
void paintAddOn(Frame& frame, std::string_view addOn, std::int16_t gapModules) {
    const Arguments& args = frame.arguments();
    frame.paintBox(multiply16(gapModules, args.pWidth), frame.normalBand(), false);
    const bool withText = args.pText != 0;
    const float textDepth = withText ? static_cast<float>(frame.surface().textHeight(addOn)) : 0.0f;
    const Band bars{args.pY + textDepth, frame.longBand().bottom};
    extended::AddOnModules modules;
    const std::string_view pattern = extended::addOnModules(addOn, modules);
    frame.paintModules(pattern.substr(0, 4), bars);
    for (std::size_t i = 0; i < addOn.size(); ++i) {
        const std::size_t start = 4 + i * 9;
        if (i > 0) frame.paintModules(pattern.substr(start - 2, 2), bars);
        if (withText) frame.writeText(frame.runningX(), args.pY, CharacterText(addOn[i]));
        frame.paintModules(pattern.substr(start, 7), bars);
    }
}

std::int16_t drawWithAddOn(const Arguments& args, ExtendedType type) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        const extended::AddOnData data = extended::parseAddOnData(type, args.pCode);
        args.pCode.assign(data.main);
        if (!data.addOn.empty()) args.pCode.append("+").append(data.addOn);
        Characters digits;
        for (const char c : data.main) digits.push_back(static_cast<char32_t>(c));
        std::int16_t gap = 7;
        if (type == ExtendedType::EAN_13_AddOn) {
            ean13::paintSymbol(frame, digits, args.pX);
        } else if (type == ExtendedType::UPC_A_AddOn) {
            upca::paintWithOuterTexts(frame, digits);
            gap = 9;
        } else {
            const std::u32string_view body(digits.data() + 1, upce::bodyLength);
            upce::paintSymbol(frame, digits[0], body, digits.back());
        }
        if (!data.addOn.empty()) paintAddOn(frame, data.addOn, gap);
    });
}

}  // namespace

std::int16_t drawEan13AddOn(const Arguments& args) {
    return drawWithAddOn(args, ExtendedType::EAN_13_AddOn);
}
std::int16_t drawUpcAAddOn(const Arguments& args) {
    return drawWithAddOn(args, ExtendedType::UPC_A_AddOn);
}
std::int16_t drawUpcEAddOn(const Arguments& args) {
    return drawWithAddOn(args, ExtendedType::UPC_E_AddOn);
}

}  // namespace quillet
