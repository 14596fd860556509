// The fifteen drawing methods, one per symbology, each in the file of its family.
#pragma once

#include <cstdint>

#include "render/frame.h"

namespace quillet {

std::int16_t drawEan13(const Arguments& arguments);
std::int16_t drawEan8(const Arguments& arguments);
std::int16_t drawIsbn(const Arguments& arguments);
std::int16_t drawUpcA(const Arguments& arguments);
std::int16_t drawUpcAPlus(const Arguments& arguments);
std::int16_t drawUpcE(const Arguments& arguments);

std::int16_t drawCode39(const Arguments& arguments);
std::int16_t drawCode39FullAscii(const Arguments& arguments);
std::int16_t drawCode93(const Arguments& arguments);
std::int16_t drawCode128(const Arguments& arguments);

std::int16_t drawCodabar(const Arguments& arguments);
std::int16_t drawCode11(const Arguments& arguments);
std::int16_t drawCode25(const Arguments& arguments);
std::int16_t drawMsi(const Arguments& arguments);
std::int16_t drawPostnet(const Arguments& arguments);

}  // namespace quillet
