// Data as a person types it, checked before anything is drawn.
//
// The drawing methods take whatever they are given and normalise it silently: non-digits drawn
// as 0, short data padded, a typed check digit replaced, Code 128's set named by the first
// character. Callers that pass on what people type (the quillet command, the npm package) ask
// here first: either the exact method arguments that draw the typed data, or findings that say
// what is wrong, where and what would be right. The methods themselves stay as they are.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/quillet.h"

namespace quillet::assist {

struct Finding {
    std::string id;            // "ean13.check-digit": stable, for tests, logs and translations
    std::size_t position = 0;  // the character it is about, counting from 1; 0 for the whole
    std::string message;       // what is wrong and what would be right
    bool refusal = true;       // false: a note on how the data is drawn, which it still is
};

// What a person asks for besides the data.
struct Request {
    // Check characters where the symbology makes them optional; nothing takes the usual one:
    // on for Code 128 and Code 93, whose standards require them, off elsewhere.
    std::optional<bool> check;
    // Code 128's set, 'A', 'B' or 'C'; nothing chooses the one set that holds the data.
    std::optional<char> codeSet;
};

struct Checked {
    tBarcodeType type{};  // the method to call: an ISBN beginning 979 is drawn as EAN-13
    std::string pCode;    // the data argument that draws exactly what was typed
    bool pChk = false;
    std::vector<Finding> findings;

    bool accepted() const noexcept;
    // The refusals' messages, one per line, for a person to read.
    std::string refusals() const;
};

Checked checkData(tBarcodeType type, std::string_view typed, const Request& request = {});

// Where the symbologies beyond the fifteen serve typed data better: Code 128 without a chosen
// set goes to the automatic sets, EAN-13, UPC-A and UPC-E data with "+" to the symbol with its
// add-on; any other type stays as it is.
Symbology servedBetter(Symbology type, std::string_view typed, bool setChosen) noexcept;

// Whether a symbology's check characters are on unless a person says otherwise.
bool checksByDefault(tBarcodeType type) noexcept;

}  // namespace quillet::assist
