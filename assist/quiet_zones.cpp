#include "assist/quiet_zones.h"

#include <array>

namespace quillet::assist {
namespace {

// Indexed by tBarcodeType. EAN/UPC from the GS1 General Specifications (EAN-13 11 and 7, EAN-8
// 7 and 7, UPC-A 9 and 9, UPC-E 9 and 7); Code 128, Code 39, Code 93, Interleaved 2 of 5,
// Codabar and Code 11 ten modules by their ISO/IEC and AIM specifications; MSI twelve; POSTNET
// ten bar widths, more than its 1/8 inch at the usual bar width.
constexpr std::array<QuietZoneModules, 15> zones = {{
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
}};
static_assert(zones.size() == barcodeTypeNames.size());

}  // namespace

QuietZoneModules quietZone(tBarcodeType type) noexcept {
    const auto index = static_cast<std::size_t>(type);
    return index < zones.size() ? zones[index] : QuietZoneModules{10, 10};
}

}  // namespace quillet::assist
