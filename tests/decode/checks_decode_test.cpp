// Typed data checked before drawing: each row either gives the method arguments, drawn and read
// back by zbar where it reads the symbology, or the exact refusal a person sees.
#include <gtest/gtest.h>

#include "assist/checks.h"
#include "tests/decode/zbar_reader.h"

namespace quillet {
namespace {

using assist::checkData;
using testing::Decoded;

struct Row {
    std::string_view typed;
    tBarcodeType type;
    std::string_view expected;  // the pCode drawn, or the refusal's message
    Decoded decoded = {};       // what zbar reads from the symbol; nothing where it cannot
    tBarcodeType drawnAs = type;
    bool chk = false;
};

const std::vector<std::string> zbarSettings = {"upca.enable=1", "upce.enable=1", "code93.enable=1",
                                               "i25.min-length=2"};

const Row rows[] = {
    {"400638133393", EAN_13, "400638133393", {"EAN-13", "4006381333931"}},
    {" 4006381333931", EAN_13, "400638133393", {"EAN-13", "4006381333931"}},
    {"40063813339A", EAN_13,
     "EAN-13 takes 12 digits, or 13 with its check digit: 'A' at position 12 is not a digit"},
    {"4006381333930", EAN_13, "the check digit should be 1, not 0"},
    {"12345", EAN_13, "EAN-13 takes 12 digits, or 13 with its check digit: 5 given"},
    {"96385074", EAN_8, "9638507", {"EAN-8", "96385074"}},
    {"036000291452", UPC_A, "03600029145", {"UPC-A", "036000291452"}},
    {"04252614", UPC_E, "425261", {"UPC-E", "04252614"}},
    {"1234567", UPC_E, "UPC-E is drawn with number system 0 only, not '1'"},
    {"12345", UPC_E,
     "UPC-E takes 6 digits (7 with its number system 0 first, 8 with its check digit last): 5 "
     "given"},
    {"978-3-16-148410-0", ISBN, "316148410", {"EAN-13", "9783161484100"}},
    {"ISBN 0-8044-2957-x", ISBN, "080442957", {"EAN-13", "9780804429573"}},
    {"979-10-90636-07-1", ISBN, "979109063607", {"EAN-13", "9791090636071"}, EAN_13},
    {"0-306-40615-3", ISBN, "the check character should be 2, not 3"},
    {"978-0-306-40615", ISBN,
     "an ISBN has 10 characters (ISBN-10) or 13 digits (ISBN-13), not counting hyphens and "
     "spaces: 12 given"},
    {"12345-6789", PostNet, "123456789"},
    {"1234", PostNet,
     "POSTNET takes a ZIP code of 5 digits, or ZIP+4 of 9 (12345-6789): 4 digits given"},
    {"hello", Code_39, "HELLO", {"CODE-39", "HELLO"}},
    {"A*B", Code_39,
     "'*' at position 2 is Code 39's start and stop character and cannot be data (Code 39 Full "
     "ASCII carries it)"},
    {"Née", Code_39F,
     "Code 39 Full ASCII carries ASCII characters only: 'é' at position 2 is "
     "not one"},
    {"Code 93", Code_93, "Code 93", {"CODE-93", "Code 93"}, Code_93, true},
    {"ABC-12345", Code_128, "BABC-12345", {"CODE-128", "ABC-12345"}, Code_128, true},
    {"A40156B", Codabar, "A40156B", {"Codabar", "A40156B"}},
    {"A40156", Codabar,
     "Codabar begins and ends with A, B, C or D, or has neither: the stop character is missing"},
    {"123-45", Code_11, "123-45"},
    {"1234567890", Code_25, "1234567890", {"I2/5", "1234567890"}},
    {"12a", Code_MSI, "MSI takes digits only: 'a' at position 3 is not a digit"},
    {"", Code_39, "there is no data to draw"},
};

TEST(CheckedData, GivesTheArgumentsThatDrawTheTypedDataOrSaysWhatIsWrong) {
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(barcodeTypeNames[row.type]) + " '" + std::string(row.typed) + "'");
        const assist::Checked checked = checkData(row.type, row.typed);
        if (!checked.accepted()) {
            EXPECT_EQ(checked.refusals(), row.expected);
            continue;
        }
        EXPECT_EQ(checked.pCode, row.expected);
        EXPECT_EQ(checked.type, row.drawnAs);
        EXPECT_EQ(checked.pChk, row.chk);
        if (row.decoded.symbology.empty()) continue;
        DrawingArguments arguments;
        arguments.pCode = checked.pCode;
        arguments.pChk = checked.pChk;
        EXPECT_EQ(testing::renderAndDecode(checked.type, arguments, 300, zbarSettings),
                  std::vector<Decoded>{row.decoded});
    }
    // The ids name the symbology and the kind of problem, for programs that act on them.
    const auto ids = [](tBarcodeType type, std::string_view typed) {
        std::string joined;
        for (const auto& finding : checkData(type, typed).findings) joined += finding.id + " ";
        return joined;
    };
    EXPECT_EQ(ids(EAN_13, "4006381333930"), "ean13.check-digit ");
    EXPECT_EQ(ids(Code_39, "a*"), "code39.asterisk ");
    EXPECT_EQ(ids(ISBN, "979-10-90636-07-1"), "isbn.no-isbn-10 ");
}

}  // namespace
}  // namespace quillet
