// Quillet: the barcode-drawing control.
//
// Each Bar... method draws one symbol onto the caller's surface and returns 0, or the number of
// the run-time error that stopped it (what was painted stays painted). Failures in the steps a
// method runs before its error trap (a ratio without a colon, a pX that does not round into the
// 16-bit range) are thrown to the caller as quillet::RuntimeError. pCode is the caller's
// variable: most methods write their normalised data back into it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "render/errors.h"
#include "render/surface.h"
#include "symbologies/extended/extended.h"

namespace quillet {

enum tBarcodeType : std::int32_t {
    Codabar = 0,
    Code_11 = 1,
    Code_128 = 2,
    Code_25 = 3,
    Code_39 = 4,
    Code_39F = 5,
    Code_93 = 6,
    EAN_13 = 7,
    EAN_8 = 8,
    ISBN = 9,
    Code_MSI = 10,
    PostNet = 11,
    UPC_A = 12,
    UPC_A_Plus = 13,
    UPC_E = 14,
};

inline constexpr std::array<std::string_view, 15> barcodeTypeNames = {
    "Codabar", "Code_11", "Code_128", "Code_25", "Code_39", "Code_39F",   "Code_93", "EAN_13",
    "EAN_8",   "ISBN",    "Code_MSI", "PostNet", "UPC_A",   "UPC_A_Plus", "UPC_E"};

// The member name of a type, case-insensitively ("code_39" is Code_39); nothing for other text.
std::optional<tBarcodeType> barcodeTypeNamed(std::string_view name) noexcept;

// A symbology to draw: one of the fifteen (tBarcodeType) or one beyond them (ExtendedType). Either
// converts to it, so that code written for the fifteen takes the others as well.
class Symbology {
  public:
    constexpr Symbology() noexcept : Symbology(Codabar) {}
    constexpr Symbology(tBarcodeType type) noexcept : value_(type), extended_(false) {}
    constexpr Symbology(ExtendedType type) noexcept
        : value_(static_cast<std::int32_t>(type)), extended_(true) {}
    constexpr bool isExtended() const noexcept { return extended_; }
    constexpr tBarcodeType barcodeType() const noexcept {
        return static_cast<tBarcodeType>(value_);
    }
    constexpr ExtendedType extendedType() const noexcept {
        return static_cast<ExtendedType>(value_);
    }
    // "Code_39", "GS1_128": the type's member name.
    std::string_view name() const noexcept;
    // 0-14 for the fifteen, then 15 on for those beyond them: for tables of every symbology.
    constexpr std::size_t index() const noexcept {
        return static_cast<std::size_t>(value_) + (extended_ ? barcodeTypeNames.size() : 0);
    }
    friend constexpr bool operator==(Symbology, Symbology) noexcept = default;

  private:
    std::int32_t value_;
    bool extended_;
};

inline constexpr std::size_t symbologyCount = barcodeTypeNames.size() + extendedTypeNames.size();

// The thirteen drawing arguments in one value, with the defaults of the quillet command.
struct DrawingArguments {
    float pX = 0;
    float pY = 0;
    std::string pCode;
    std::int16_t pWidth = 15;
    std::int16_t pHeight = 1200;
    std::int16_t pText = 1;
    bool pBold = false;
    std::string pFont = "Arial";
    std::int32_t pForeColor = 0;
    std::int32_t pLineColor = 0;
    std::string pRatio = "3:1";
    bool pChk = false;
};

struct Extent {
    std::int32_t width;
    std::int32_t height;
};

class Quillet {
  public:
    // The control always occupies this square on its form, in twips.
    static constexpr Extent fixedSize{600, 600};

#define QUILLET_DRAWING_METHOD(name)                                                             \
    std::int16_t name(Surface* pObject, float pX, float pY, std::string& pCode,                  \
                      std::int16_t pWidth, std::int16_t pHeight, std::int16_t pText, bool pBold, \
                      std::string_view pFont, std::int32_t pForeColor, std::int32_t pLineColor,  \
                      std::string_view pRatio, bool pChk);
    QUILLET_DRAWING_METHOD(BarUPCAPlus)
    QUILLET_DRAWING_METHOD(BarCODABAR)
    QUILLET_DRAWING_METHOD(BarCODE11)
    QUILLET_DRAWING_METHOD(BarCODE25)
    QUILLET_DRAWING_METHOD(BarCODE39)
    QUILLET_DRAWING_METHOD(BarCODE39F)
    QUILLET_DRAWING_METHOD(BarISBN)
    QUILLET_DRAWING_METHOD(BarMSI)
    QUILLET_DRAWING_METHOD(BarPOSTNET)
    QUILLET_DRAWING_METHOD(BarCODE93)
    QUILLET_DRAWING_METHOD(BarEAN13)
    QUILLET_DRAWING_METHOD(BarCODE128)
    QUILLET_DRAWING_METHOD(BarEAN8)
    QUILLET_DRAWING_METHOD(BarUPCA)
    QUILLET_DRAWING_METHOD(BarUPCE)
#undef QUILLET_DRAWING_METHOD

    // The drawing method of a symbology, with the arguments in one value; pCode is written back
    // into arguments.pCode. A type outside the enumerations is the invalid-argument error (5).
    std::int16_t Draw(Symbology type, Surface* pObject, DrawingArguments& arguments);

    // SupBarType: informational only, no drawing method reads it. The put converts to a 16-bit
    // integer (outside that range: overflow, 6), stores any value and notifies the host.
    tBarcodeType SupBarType() const noexcept {
        return static_cast<tBarcodeType>(supBarType_);
    }
    void SupBarType(std::int64_t value);

    void ShowAboutBox() const;

    // Every resize by the container or the user brings the control back to its fixed size.
    Extent Resize(Extent requested);
    Extent Size() const noexcept {
        return fixedSize;
    }

    // Hooks a host sets: the property-change notification (the property's name) and the About
    // dialog. The portable defaults do nothing.
    std::function<void(std::string_view property)> propertyChanged;
    std::function<void()> aboutBox;

  private:
    std::int16_t supBarType_ = 0;
};

}  // namespace quillet
