// Sizes as people write them, read into the inches they mean.
#include <gtest/gtest.h>

#include "assist/units.h"

namespace quillet::assist {
namespace {

TEST(Lengths, ReadAsTheInchesTheyMean) {
    struct Row {
        std::string_view text;
        std::optional<double> inches;  // surface units are twips here, pixels at 300 dpi
    };
    const Row rows[] = {
        {"0.33mm", 0.33 / 25.4},
        {"15 mm", 15 / 25.4},
        {"1.5cm", 15 / 25.4},
        {"0.5in", 0.5},
        {"13mil", 0.013},
        {"13mils", 0.013},
        {"9pt", 0.125},
        {"3px", 0.01},
        {"720", 0.5},
        {"mm", std::nullopt},
        {"1.5 furlongs", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto length = parseLength(row.text);
        ASSERT_EQ(length.has_value(), row.inches.has_value());
        if (length) {
            EXPECT_NEAR(inchesOf(*length, 300, 1440), *row.inches, 1e-12);
        }
    }
}

}  // namespace
}  // namespace quillet::assist
