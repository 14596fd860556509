// The symbologies beyond the fifteen: Code 128 with automatic code sets, GS1-128, ITF-14, EAN-13,
// UPC-A and UPC-E with their two- and five-digit add-ons, and the Intelligent Mail barcode.
//
// Each draws like the fifteen methods (the same thirteen arguments, one box per module or bar,
// the text through the surface, a 16-bit result) but checks its data first: data it cannot
// encode is refused with the invalid-argument error (5) before anything is drawn, as a DataError
// that says what is wrong. Each plans its symbol in a pure function (values, modules or bar
// states) before it paints, and those plans are declared here for the tests and tools.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "render/frame.h"
#include "render/small_buffer.h"

namespace quillet {

enum class ExtendedType : std::int32_t {
    Code_128_Auto = 0,
    GS1_128 = 1,
    ITF_14 = 2,
    EAN_13_AddOn = 3,
    UPC_A_AddOn = 4,
    UPC_E_AddOn = 5,
    Intelligent_Mail = 6,
};

inline constexpr std::array<std::string_view, 7> extendedTypeNames = {
    "Code_128_Auto", "GS1_128",     "ITF_14",          "EAN_13_AddOn",
    "UPC_A_AddOn",   "UPC_E_AddOn", "Intelligent_Mail"};

// Data a symbology cannot encode: the invalid-argument error with a stable id
// ("gs1.check-digit") and a message that says what is wrong and what would be right.
// A text from its parts, one after another.
inline std::string joinText(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) text.append(part);
    return text;
}

class DataError : public RuntimeError {
  public:
    DataError(std::string_view id, std::initializer_list<std::string_view> message)
        : RuntimeError(error::invalidArgument), id_(id), message_(joinText(message)) {}
    std::string_view id() const noexcept { return id_; }
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string_view id_;
    std::string message_;
};

struct DataProblem {
    std::string_view id;
    std::string message;
};

// What is wrong with the data for the type, or nothing when it would be drawn. Runs the same
// planning as the drawing method, without a surface.
std::optional<DataProblem> checkExtendedData(ExtendedType type, std::string_view code);

// The drawing methods. pText writes the text for any non-zero value; pChk is ignored (every one
// of them always carries its check characters); pRatio only means something to ITF-14.
std::int16_t drawCode128Auto(const Arguments& arguments);
std::int16_t drawGs1_128(const Arguments& arguments);
std::int16_t drawItf14(const Arguments& arguments);
std::int16_t drawEan13AddOn(const Arguments& arguments);
std::int16_t drawUpcAAddOn(const Arguments& arguments);
std::int16_t drawUpcEAddOn(const Arguments& arguments);
std::int16_t drawIntelligentMail(const Arguments& arguments);

// The drawing method of a type. A type outside the enumeration is the invalid-argument error.
std::int16_t drawExtended(ExtendedType type, const Arguments& arguments);

namespace extended {

// Code 128 and GS1-128: the symbol character values from the start character to the stop
// character, check character included. A data code is 0..255, or fnc1Code for FNC1.
inline constexpr std::int16_t fnc1Code = 256;
using Codes = SmallBuffer<std::int16_t, 256>;
using Values = SmallBuffer<std::int16_t, 256>;
void planCode128(const Codes& data, Values& values);
// The data codes of UTF-8 text, each character by its ISO 8859-1 code: all a plan needs of the
// text, and all that can be wrong with it. Throws DataError.
void code128Codes(std::string_view code, Codes& codes);
// The plan of such text.
void planCode128Text(std::string_view code, Values& values);
// A plan's symbol characters, one box per module, pHeight high.
void paintCode128(Frame& frame, const Values& values);

// GS1 element strings in the bracketed form, "(01)09501101530003(10)ABC": the data codes with
// FNC1 first and after every variable-length field that is not last, and the text with the
// brackets. Throws DataError.
struct Gs1Data {
    Codes codes;
    SmallBuffer<char, 128> text;
    std::string_view textView() const noexcept { return {text.data(), text.size()}; }
};
Gs1Data parseGs1(std::string_view bracketed);

// ITF-14: the fourteen digits from thirteen (the check digit computed) or fourteen (verified).
std::array<char, 14> itf14Digits(std::string_view code);

// EAN-13, UPC-A and UPC-E with an add-on: "MAIN+ADDON" split and checked. main holds the digits
// the symbol shows, check digit included (UPC-E: number system, six body digits, check digit).
struct AddOnData {
    std::string main;
    std::string addOn;  // "", two or five digits
};
AddOnData parseAddOnData(ExtendedType type, std::string_view code);
// The add-on's modules from its left guard, "1011..." (two digits 20 modules, five 47).
using AddOnModules = std::array<char, 47>;
std::string_view addOnModules(std::string_view addOn, AddOnModules& out);

// Intelligent Mail: 65 bar states, "F" full, "A" ascender, "D" descender, "T" tracker, from the
// 20-digit tracking code followed by a 0-, 5-, 9- or 11-digit routing code (a "-" or spaces
// between them allowed).
std::array<char, 65> intelligentMailBars(std::string_view code);

}  // namespace extended
}  // namespace quillet
