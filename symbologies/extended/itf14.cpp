// ITF-14: a GTIN-14 in Interleaved 2 of 5 with the GS1 proportions (wide elements 2.5 times the
// narrow), a quiet zone of ten modules on each side, and bearer bars that keep a skewed scan
// line from reading a partial symbol. pRatio gives the bearers: their width in modules and
// whether they frame the symbol or only run along its top and bottom ("3:frame", "2:bars", "0"
// for none; "3:1" and "3:0" say the same as the first two).
#include "render/numeric.h"
#include "symbologies/ean_upc/tables.h"
#include "symbologies/extended/extended.h"
#include "symbologies/numeric/two_of_five.h"

namespace quillet::extended {

std::array<char, 14> itf14Digits(std::string_view code) {
    std::array<char, 14> digits{};
    std::size_t count = 0;
    for (const char c : code) {
        if (c == ' ') continue;
        if (c < '0' || c > '9')
            throw DataError("itf14.digits",
                            {"ITF-14 takes digits only, not \"", std::string_view(&c, 1), "\""});
        if (count < digits.size()) digits[count] = c;
        ++count;
    }
    if (count != 13 && count != 14) {
        throw DataError("itf14.length", {"ITF-14 takes 13 digits, or 14 with the check digit, not ",
                                         std::to_string(count)});
    }
    Characters data;
    for (std::size_t i = 0; i < 13; ++i) data.push_back(static_cast<char32_t>(digits[i]));
    const auto check = static_cast<char>(ean_upc::checkDigit(data));
    if (count == 14 && digits[13] != check) {
        throw DataError("itf14.check-digit",
                        {"the check digit of ", std::string_view(digits.data(), 13), " is ",
                         std::string_view(&check, 1), ", not ", std::string_view(&digits[13], 1)});
    }
    digits[13] = check;
    return digits;
}

}  // namespace quillet::extended

namespace quillet {
namespace {

struct Bearers {
    std::int16_t modules;
    bool frame;
};

// The width in modules, 0 to 10, then optionally ":frame" (or ":1") or ":bars" (or ":0").
Bearers bearersOf(std::string_view text) {
    const std::size_t colon = text.find(':');
    const std::string_view width = trimSpaces(text.substr(0, colon));
    const std::string_view style =
        colon == std::string_view::npos ? "frame" : trimSpaces(text.substr(colon + 1));
    const bool digits =
        !width.empty() && width.size() <= 2 &&
        std::all_of(width.begin(), width.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int modules = digits ? std::stoi(std::string(width)) : -1;
    const bool frame = style == "frame" || style == "1";
    if (modules < 0 || modules > 10 || (!frame && style != "bars" && style != "0")) {
        throw DataError("itf14.bearers",
                        {"ITF-14's bearer bars are given as a width of 0 to 10 modules and "
                         "\"frame\" or \"bars\" (top and bottom only), e.g. 3:frame, not \"",
                         text, "\""});
    }
    return {static_cast<std::int16_t>(modules), frame};
}

constexpr std::int16_t quietZoneModules = 10;

}  // namespace

std::int16_t drawItf14(const Arguments& args) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        const std::array<char, 14> digits = extended::itf14Digits(args.pCode);
        const Bearers bearers = bearersOf(args.pRatio);
        args.pCode.assign(digits.data(), digits.size());

        const std::int16_t narrow = args.pWidth;
        const ElementWidths widths{narrow,
                                   Ratio{subtract16(roundToInt16(narrow * 2.5), narrow), 0}};
        const std::int16_t bearer = multiply16(bearers.modules, narrow);
        const float thickness = bearer;
        const Band bars = frame.normalBand(thickness);
        const Band top{args.pY, bars.top};
        const Band bottom{bars.bottom, bars.bottom + thickness};
        const Band whole{args.pY, bottom.bottom};

        const std::int16_t left = frame.runningX();
        if (bearers.frame && bearer > 0) frame.paintBox(bearer, whole, true);
        const std::int16_t quietZone = multiply16(quietZoneModules, narrow);
        frame.paintBox(quietZone, bars, false);
        PatternRun run(frame, widths, bars);
        run.add(two_of_five::startElements);
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            const auto patternOf = [](char digit) {
                return two_of_five::patterns[static_cast<std::size_t>(digit - '0')];
            };
            run.add(two_of_five::interleave(patternOf(digits[i]), patternOf(digits[i + 1])));
        }
        run.add(two_of_five::stopElements);
        run.paint();
        frame.paintBox(quietZone, bars, false);
        if (bearers.frame && bearer > 0) frame.paintBox(bearer, whole, true);
        if (bearer > 0) {
            frame.paintBarSince(left, top);
            frame.paintBarSince(left, bottom);
        }
        // The text goes below the bottom bearer.
        if (args.pText != 0) frame.centreText(args.pCode, 2 * thickness);
    });
}

}  // namespace quillet
