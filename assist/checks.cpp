#include "assist/checks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>

#include "assist/code128_sets.h"
#include "render/text.h"
#include "symbologies/alnum/code128.h"
#include "symbologies/alnum/code39.h"
#include "symbologies/alnum/code93.h"
#include "symbologies/ean_upc/tables.h"
#include "symbologies/numeric/codabar.h"
#include "symbologies/numeric/code11.h"

namespace quillet::assist {
namespace {

constexpr bool isDigit(char32_t character) noexcept {
    return character >= U'0' && character <= U'9';
}

// A character as a message shows it: printable ones quoted, control characters by number.
std::string quoted(char32_t character) {
    if (character < 0x20 || character == 0x7F) {
        char number[16];
        std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(character));
        return std::string("the control character ") + number;
    }
    std::string text = "'";
    appendUtf8(text, character);
    return text + "'";
}

std::string at(char32_t character, std::size_t position) {
    return quoted(character) + " at position " + std::to_string(position);
}

// The data being checked, each character with its position in what was typed.
struct Typed {
    std::u32string characters;
    std::vector<std::size_t> positions;

    std::size_t size() const noexcept { return characters.size(); }
    std::u32string_view view() const noexcept { return characters; }
};

// The characters from `first` on, as typed.
Typed whole(std::u32string_view data, std::size_t first = 0) {
    Typed typed;
    typed.characters = data.substr(first);
    typed.positions.resize(typed.characters.size());
    std::iota(typed.positions.begin(), typed.positions.end(), first + 1);
    return typed;
}

// Spaces round the data are left out: people copy them along, and the numeric methods trim
// them anyway.
Typed trimmed(std::u32string_view data) {
    std::size_t first = 0, last = data.size();
    while (first < last && data[first] == U' ') ++first;
    while (last > first && data[last - 1] == U' ') --last;
    return whole(data.substr(0, last), first);
}

// The first part of every finding's id, by tBarcodeType.
constexpr std::array<std::string_view, 15> families = {
    "codabar", "code11", "code128", "code25",  "code39", "code39f",  "code93", "ean13",
    "ean8",    "isbn",   "msi",     "postnet", "upca",   "upcaplus", "upce"};
static_assert(families.size() == barcodeTypeNames.size());

class Checker {
  public:
    Checker(tBarcodeType type, const Request& request)
        : family_(families[static_cast<std::size_t>(type)]) {
        checked_.type = type;
        checked_.pChk = request.check.value_or(checksByDefault(type));
    }

    // A finding's id is the symbology's family and the kind of problem: "ean13.check-digit".
    void refuse(std::string_view kind, std::size_t position, std::string message) {
        checked_.findings.push_back({idOf(kind), position, std::move(message), true});
    }
    void note(std::string_view kind, std::size_t position, std::string message) {
        checked_.findings.push_back({idOf(kind), position, std::move(message), false});
    }
    bool refused() const noexcept { return !checked_.accepted(); }
    bool check() const noexcept { return checked_.pChk; }

    // Refuses every character the predicate does not take, each with the rule it breaks.
    template <class Predicate>
    void onlyCharacters(const Typed& data, std::string_view rule, std::string_view notOne,
                        Predicate takes) {
        for (std::size_t i = 0; i < data.size(); ++i)
            if (!takes(data.characters[i]))
                refuse("character", data.positions[i],
                       std::string(rule) + ": " + at(data.characters[i], data.positions[i]) +
                           std::string(notOne));
    }

    Checked done(tBarcodeType type, std::u32string_view code) {
        checked_.type = type;
        assignUtf8(checked_.pCode, code);
        return std::move(checked_);
    }
    Checked refusedAll() { return std::move(checked_); }

  private:
    std::string idOf(std::string_view kind) const {
        return std::string(family_) + "." + std::string(kind);
    }

    std::string_view family_;
    Checked checked_;
};

std::string checkDigitMessage(std::string_view what, char32_t expected, char32_t typed) {
    std::string text = "the check " + std::string(what) + " should be ";
    appendUtf8(text, expected);
    text += ", not ";
    appendUtf8(text, typed);
    return text;
}

// EAN-13, EAN-8, UPC-A: the data digits, or the data digits and their check digit, which must
// be the one the method computes (it would silently replace a wrong one).
Checked checkRetail(Checker& checker, tBarcodeType type, std::string_view name, std::size_t length,
                    const Typed& data) {
    // Spelt out only for a refusal: a batch checks row after row of good data.
    const auto rule = [&] {
        return std::string(name) + " takes " + std::to_string(length) + " digits, or " +
               std::to_string(length + 1) + " with its check digit";
    };
    if (!std::all_of(data.characters.begin(), data.characters.end(), isDigit)) {
        checker.onlyCharacters(data, rule(), " is not a digit", isDigit);
        return checker.refusedAll();
    }
    if (data.size() != length && data.size() != length + 1) {
        checker.refuse("length", 0, rule() + ": " + std::to_string(data.size()) + " given");
        return checker.refusedAll();
    }
    const std::u32string_view digits = data.view().substr(0, length);
    if (data.size() == length + 1) {
        const char32_t expected = ean_upc::checkDigit(digits);
        if (data.characters.back() != expected)
            checker.refuse("check-digit", data.positions.back(),
                           checkDigitMessage("digit", expected, data.characters.back()));
    }
    return checker.done(type, digits);
}

// UPC-E: the six-digit body, with the number system 0 in front and the check digit after it
// as people often copy them from the package.
Checked checkUpcE(Checker& checker, const Typed& data) {
    const std::string rule =
        "UPC-E takes 6 digits (7 with its number system 0 first, 8 with its check digit last)";
    checker.onlyCharacters(data, rule, " is not a digit", isDigit);
    if (checker.refused()) return checker.refusedAll();
    if (data.size() < 6 || data.size() > 8) {
        checker.refuse("length", 0, rule + ": " + std::to_string(data.size()) + " given");
        return checker.refusedAll();
    }
    const std::size_t bodyStart = data.size() == 6 ? 0 : 1;
    if (bodyStart == 1 && data.characters[0] != U'0')
        checker.refuse(
            "number-system", data.positions[0],
            "UPC-E is drawn with number system 0 only, not " + quoted(data.characters[0]));
    const std::u32string_view body = data.view().substr(bodyStart, 6);
    if (data.size() == 8) {
        ean_upc::UpcEExpansion expansion;
        const char32_t expected = ean_upc::checkDigit(ean_upc::expandUpcE(body, expansion));
        if (data.characters.back() != expected)
            checker.refuse("check-digit", data.positions.back(),
                           checkDigitMessage("digit", expected, data.characters.back()));
    }
    return checker.done(UPC_E, body);
}

// "ISBN", "ISBN-10", "ISBN-13" with a colon or a space, as printed on books.
std::size_t isbnLabelLength(std::u32string_view data) {
    const auto upper = [](char32_t c) { return c >= U'a' && c <= U'z' ? c - 32 : c; };
    if (data.size() < 4) return 0;
    for (std::size_t i = 0; i < 4; ++i)
        if (upper(data[i]) != U"ISBN"[i]) return 0;
    std::size_t length = 4;
    for (const std::u32string_view suffix : {U"-10", U"-13", U"10", U"13"})
        if (data.substr(length).starts_with(suffix)) {
            length += suffix.size();
            break;
        }
    while (length < data.size() && (data[length] == U':' || data[length] == U' ')) ++length;
    return length;
}

// ISBN-10 and ISBN-13 with or without hyphens and spaces. The method takes the nine digits of
// an ISBN-10 and draws them as the EAN-13 of 978; a book number beginning 979 has no ISBN-10
// and is drawn by the EAN-13 method.
Checked checkIsbn(Checker& checker, std::u32string_view typed) {
    const Typed all = trimmed(typed);
    const std::size_t label = isbnLabelLength(all.view());
    Typed data;
    for (std::size_t i = label; i < all.size(); ++i) {
        const char32_t character = all.characters[i];
        if (character == U'-' || character == U' ') continue;
        data.characters.push_back(character == U'x' ? U'X' : character);
        data.positions.push_back(all.positions[i]);
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char32_t character = data.characters[i];
        if (character == U'X' && i == 9 && data.size() == 10) continue;
        if (!isDigit(character))
            checker.refuse("character", data.positions[i],
                           "an ISBN has digits, hyphens and spaces, and an ISBN-10 may end in X: " +
                               at(typed[data.positions[i] - 1], data.positions[i]) +
                               " does not belong");
    }
    if (checker.refused()) return checker.refusedAll();
    if (data.size() == 10) {
        int sum = 0;
        for (std::size_t i = 0; i < 9; ++i)
            sum += static_cast<int>(10 - i) * static_cast<int>(data.characters[i] - U'0');
        const int value = (11 - sum % 11) % 11;
        const char32_t expected = value == 10 ? U'X' : static_cast<char32_t>(U'0' + value);
        if (data.characters[9] != expected)
            checker.refuse("check-character", data.positions[9],
                           checkDigitMessage("character", expected, data.characters[9]));
        return checker.done(ISBN, data.view().substr(0, 9));
    }
    if (data.size() != 13) {
        checker.refuse("length", 0,
                       "an ISBN has 10 characters (ISBN-10) or 13 digits (ISBN-13), not counting "
                       "hyphens and spaces: " +
                           std::to_string(data.size()) + " given");
        return checker.refusedAll();
    }
    const std::u32string_view prefix = data.view().substr(0, 3);
    if (prefix != U"978" && prefix != U"979") {
        checker.refuse("prefix", data.positions[0],
                       "an ISBN-13 begins with 978 or 979, not " + encodeUtf8(prefix));
        return checker.refusedAll();
    }
    const char32_t expected = ean_upc::checkDigit(data.view().substr(0, 12));
    if (data.characters[12] != expected)
        checker.refuse("check-digit", data.positions[12],
                       checkDigitMessage("digit", expected, data.characters[12]));
    if (prefix == U"979") {
        checker.note("no-isbn-10", data.positions[0],
                     "an ISBN beginning 979 has no ISBN-10: it is drawn as its EAN-13 symbol, "
                     "without the ISBN caption");
        return checker.done(EAN_13, data.view().substr(0, 12));
    }
    return checker.done(ISBN, data.view().substr(3, 9));
}

// A ZIP code of five digits, or ZIP+4 with a hyphen or a space after the fifth digit.
Checked checkPostnet(Checker& checker, const Typed& typed) {
    const std::string rule = "POSTNET takes a ZIP code of 5 digits, or ZIP+4 of 9 (12345-6789)";
    Typed digits;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const char32_t character = typed.characters[i];
        const bool separator = (character == U'-' || character == U' ') && digits.size() == 5 &&
                               i == 5 && i + 1 < typed.size();
        if (separator) continue;
        if (!isDigit(character)) {
            checker.refuse("character", typed.positions[i],
                           rule + ": " + at(character, typed.positions[i]) + " is not a digit");
            continue;
        }
        digits.characters.push_back(character);
        digits.positions.push_back(typed.positions[i]);
    }
    if (checker.refused()) return checker.refusedAll();
    if (digits.size() == 11) {
        checker.refuse("delivery-point", 0,
                       "the 11-digit delivery point code is not drawn here: POSTNET takes a ZIP "
                       "code of 5 digits, or ZIP+4 of 9");
    } else if (digits.size() != 5 && digits.size() != 9) {
        checker.refuse("length", 0, rule + ": " + std::to_string(digits.size()) + " digits given");
    }
    if (checker.refused()) return checker.refusedAll();
    return checker.done(PostNet, digits.view());
}

// Code 39 has no lower case: like the usual tools, lower-case letters are drawn as capitals,
// and the person is told so.
Checked checkCode39(Checker& checker, const Typed& data) {
    std::u32string drawn;
    std::size_t firstLower = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        char32_t character = data.characters[i];
        if (character >= U'a' && character <= U'z') {
            if (firstLower == 0) firstLower = data.positions[i];
            character -= 32;
        }
        if (character == U'*') {
            checker.refuse("asterisk", data.positions[i],
                           at(character, data.positions[i]) +
                               " is Code 39's start and stop character and cannot be data "
                               "(Code 39 Full ASCII carries it)");
        } else if (!code39::inSet(character)) {
            checker.refuse("character", data.positions[i],
                           "Code 39 has digits, capital letters, space and - . $ / + %: " +
                               at(character, data.positions[i]) + " is not one of them" +
                               (character < 0x80 ? " (Code 39 Full ASCII carries it)" : ""));
        }
        drawn.push_back(character);
    }
    if (checker.refused()) return checker.refusedAll();
    if (firstLower != 0)
        checker.note("lower-case", firstLower,
                     "Code 39 has no lower case: drawn as " + encodeUtf8(drawn) +
                         " (Code 39 Full ASCII keeps lower case)");
    return checker.done(Code_39, drawn);
}

// Code 39 Full ASCII and Code 93 carry every ASCII character through their shift pairs.
Checked checkAscii(Checker& checker, tBarcodeType type, std::string_view name, const Typed& data,
                   bool (*inSet)(char32_t) noexcept) {
    checker.onlyCharacters(data, std::string(name) + " carries ASCII characters only",
                           " is not one", inSet);
    if (checker.refused()) return checker.refusedAll();
    return checker.done(type, data.view());
}

// The method draws all its data in the one set its first character names.
Checked checkCode128(Checker& checker, const Typed& data, std::optional<char> forced) {
    checker.onlyCharacters(data, "Code 128 carries ASCII characters only", " is not one",
                           [](char32_t c) { return c < 0x80; });
    if (checker.refused()) return checker.refusedAll();
    std::optional<char> set = forced;
    if (!set) {
        set = chooseCodeSet(data.view());
        if (!set) {
            const auto control = std::find_if(data.characters.begin(), data.characters.end(),
                                              [](char32_t c) { return c < 0x20; });
            const auto lower = std::find_if(data.characters.begin(), data.characters.end(),
                                            [](char32_t c) { return c >= 0x60; });
            const auto positionOf = [&](auto it) {
                return data.positions[static_cast<std::size_t>(it - data.characters.begin())];
            };
            checker.refuse("mixed-sets", positionOf(lower),
                           "Code 128 is drawn in one code set here, and none holds both control "
                           "characters and lower case: " +
                               at(*control, positionOf(control)) + " needs set A, " +
                               at(*lower, positionOf(lower)) + " set B");
            return checker.refusedAll();
        }
    } else if (!fitsCodeSet(*set, data.view())) {
        const std::string setName = std::string("set ") + *set;
        for (std::size_t i = 0; i < data.size(); ++i) {
            const char32_t character = data.characters[i];
            if (fitsCodeSet(*set, std::u32string_view(&character, 1)) ||
                (*set == 'C' && isDigit(character)))
                continue;
            const std::string_view what = *set == 'A'   ? " has no lower case"
                                          : *set == 'B' ? " has no control characters"
                                                        : " takes digits only";
            checker.refuse("set", data.positions[i],
                           setName + std::string(what) + ": " + at(character, data.positions[i]));
        }
        if (!checker.refused())
            checker.refuse("set", 0,
                           "set C takes an even number of digits: " + std::to_string(data.size()) +
                               " given (set B takes any number)");
        return checker.refusedAll();
    }
    std::u32string code(1, static_cast<char32_t>(*set));
    code += data.view();
    return checker.done(Code_128, code);
}

// The method puts "A" at each end that lacks a start or stop character; one end without would
// most likely be a typing slip, so that is refused rather than repaired.
Checked checkCodabar(Checker& checker, const Typed& typed) {
    Typed data = typed;
    const auto upper = [](char32_t c) { return c >= U'a' && c <= U'd' ? c - 32 : c; };
    const bool hasStart = codabar::isStartOrStop(upper(data.characters.front()));
    const bool hasStop = data.size() > 1 && codabar::isStartOrStop(upper(data.characters.back()));
    if (hasStart != hasStop) {
        checker.refuse("start-stop", hasStart ? 0 : data.positions.front(),
                       std::string("Codabar begins and ends with A, B, C or D, or has neither: "
                                   "the ") +
                           (hasStart ? "stop" : "start") + " character is missing");
        return checker.refusedAll();
    }
    if (hasStart) {
        const bool lower = data.characters.front() != upper(data.characters.front()) ||
                           data.characters.back() != upper(data.characters.back());
        data.characters.front() = upper(data.characters.front());
        data.characters.back() = upper(data.characters.back());
        if (lower)
            checker.note("lower-case", data.positions.front(),
                         "Codabar's start and stop characters are capitals: drawn as " +
                             encodeUtf8(data.view()));
    }
    const std::size_t inner = hasStart ? 1 : 0;
    for (std::size_t i = inner; i + inner < data.size(); ++i)
        if (!codabar::inSet(data.characters[i]))
            checker.refuse("character", data.positions[i],
                           "Codabar has digits and - $ : / . + between its start and stop "
                           "characters: " +
                               at(data.characters[i], data.positions[i]) + " is not one of them");
    if (checker.refused()) return checker.refusedAll();
    return checker.done(Codabar, data.view());
}

// Interleaved 2 of 5 draws digits in pairs: an odd count gets a 0 in front, which a reader
// returns with the data.
Checked checkCode25(Checker& checker, const Typed& data, bool check) {
    checker.onlyCharacters(data, "Interleaved 2 of 5 takes digits only", " is not a digit",
                           isDigit);
    if (checker.refused()) return checker.refusedAll();
    if ((data.size() + (check ? 1 : 0)) % 2 != 0)
        checker.note("leading-zero", 0,
                     "Interleaved 2 of 5 carries digits in pairs: drawn as 0" +
                         encodeUtf8(data.view()) + (check ? " and its check digit" : ""));
    return checker.done(Code_25, data.view());
}

}  // namespace

bool Checked::accepted() const noexcept {
    return std::none_of(findings.begin(), findings.end(),
                        [](const Finding& finding) { return finding.refusal; });
}

std::string Checked::refusals() const {
    std::string text;
    for (const Finding& finding : findings)
        if (finding.refusal) text += (text.empty() ? "" : "\n") + finding.message;
    return text;
}

bool checksByDefault(tBarcodeType type) noexcept {
    return type == Code_128 || type == Code_93;
}

Checked checkData(tBarcodeType type, std::string_view typed, const Request& request) {
    Checker checker(type, request);
    const std::u32string characters = decodeUtf8(typed);
    const Typed data = trimmed(characters);
    if (data.size() == 0) {
        checker.refuse("empty", 0, "there is no data to draw");
        return checker.refusedAll();
    }
    switch (type) {
        case EAN_13:
            return checkRetail(checker, EAN_13, "EAN-13", 12, data);
        case EAN_8:
            return checkRetail(checker, EAN_8, "EAN-8", 7, data);
        case UPC_A:
            return checkRetail(checker, UPC_A, "UPC-A", 11, data);
        case UPC_A_Plus:
            return checkRetail(checker, UPC_A_Plus, "UPC-A", 11, data);
        case UPC_E:
            return checkUpcE(checker, data);
        case ISBN:
            return checkIsbn(checker, characters);
        case PostNet:
            return checkPostnet(checker, data);
        case Code_39:
            return checkCode39(checker, whole(characters));
        case Code_39F:
            return checkAscii(checker, Code_39F, "Code 39 Full ASCII", whole(characters),
                              code39::inFullAsciiSet);
        case Code_93:
            return checkAscii(checker, Code_93, "Code 93", whole(characters), code93::inSet);
        case Code_128:
            return checkCode128(checker, whole(characters), request.codeSet);
        case Codabar:
            return checkCodabar(checker, data);
        case Code_11:
            checker.onlyCharacters(data, "Code 11 takes digits and -", " is not one of them",
                                   code11::inSet);
            break;
        case Code_25:
            return checkCode25(checker, data, checker.check());
        case Code_MSI:
            checker.onlyCharacters(data, "MSI takes digits only", " is not a digit", isDigit);
            break;
    }
    if (checker.refused()) return checker.refusedAll();
    return checker.done(type, data.view());
}

Symbology servedBetter(Symbology type, std::string_view typed, bool setChosen) noexcept {
    if (type == Code_128 && !setChosen) return ExtendedType::Code_128_Auto;
    if (typed.find('+') == std::string_view::npos) return type;
    if (type == EAN_13) return ExtendedType::EAN_13_AddOn;
    if (type == UPC_A) return ExtendedType::UPC_A_AddOn;
    if (type == UPC_E) return ExtendedType::UPC_E_AddOn;
    return type;
}

}  // namespace quillet::assist
