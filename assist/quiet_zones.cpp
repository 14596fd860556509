#include "assist/quiet_zones.h"

#include <array>

namespace quillet::assist {
namespace {

// Indexed by tBarcodeType. EAN/UPC from the GS1 General Specifications (EAN-13 11 and 7, EAN-8
// 7 and 7, UPC-A 9 and 9, UPC-E 9 and 7); Code 128, Code 39, Code 93, Interleaved 2 of 5,
// Codabar and Code 11 ten modules by their ISO/IEC and AIM specifications; MSI twelve; POSTNET
// ten bar widths, more than its 1/8 inch at the usual bar width.
constexpr std::array<QuietZoneModules, symbologyCount> zones = {{
    {10, 10},  // Codabar
    {10, 10},  // Code_11
    {10, 10},  // Code_128
    {10, 10},  // Code_25
    {10, 10},  // Code_39
    {10, 10},  // Code_39F
    {10, 10},  // Code_93
    {11, 7},   // EAN_13
    {7, 7},    // EAN_8
    {11, 7},   // ISBN
    {12, 12},  // Code_MSI
    {10, 10},  // PostNet
    {9, 9},    // UPC_A
    {9, 9},    // UPC_A_Plus
    {9, 7},    // UPC_E
    {10, 10},  // Code_128_Auto
    {10, 10},  // GS1_128
    {0, 0},    // ITF_14, which draws its own quiet zones inside its bearer bars
    {11, 5},   // EAN_13_AddOn: 5 after the add-on
    {9, 5},    // UPC_A_AddOn
    {9, 5},    // UPC_E_AddOn
    {6, 6},    // Intelligent_Mail: an eighth of an inch, at bars 0.02 inch wide
}};

}  // namespace

QuietZoneModules quietZone(Symbology type) noexcept {
    const std::size_t index = type.index();
    return index < zones.size() ? zones[index] : QuietZoneModules{10, 10};
}

}  // namespace quillet::assist
