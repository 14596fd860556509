// Drawing onto a recording surface and reading the boxes back, for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "control/quillet.h"
#include "surfaces/recording_surface.h"

namespace quillet::testing {

struct Drawing {
    std::int16_t result = 0;
    std::string code;  // the caller's variable afterwards
    RecordingSurface surface;
};

// Draws through Quillet::Draw; a failure towards the caller is left to propagate.
Drawing draw(Symbology type, DrawingArguments arguments);
Drawing draw(Symbology type, std::string code, DrawingArguments arguments = {});

bool isBar(const RecordedBox& box);
int widthOf(const RecordedBox& box);

// The boxes as modules, "1" bar and "0" space, each box counted as width / moduleWidth modules.
std::string modulesOf(const std::vector<RecordedBox>& boxes, int moduleWidth);
// The boxes as two-width elements: "1" for a box of wideWidth, "0" for any other.
std::string elementsOf(const std::vector<RecordedBox>& boxes, int wideWidth);
// True when every box starts where the one before it ended.
bool contiguous(const std::vector<RecordedBox>& boxes);

// Lines of the trace whose member is one of the given names.
std::vector<std::string> linesOf(const RecordingSurface& surface, std::string_view member);

}  // namespace quillet::testing
