#include "control/quillet.h"

#include <cctype>

#include "render/arithmetic.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

using DrawingFunction = std::int16_t (*)(const Arguments&);

// Indexed by tBarcodeType.
constexpr std::array<DrawingFunction, 15> drawingFunctions = {
    drawCodabar, drawCode11,   drawCode128, drawCode25, drawCode39, drawCode39FullAscii,
    drawCode93,  drawEan13,    drawEan8,    drawIsbn,   drawMsi,    drawPostnet,
    drawUpcA,    drawUpcAPlus, drawUpcE};
static_assert(drawingFunctions.size() == barcodeTypeNames.size());

}  // namespace

std::optional<tBarcodeType> barcodeTypeNamed(std::string_view name) noexcept {
    for (std::size_t i = 0; i < barcodeTypeNames.size(); ++i) {
        const std::string_view candidate = barcodeTypeNames[i];
        if (candidate.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; same && k < name.size(); ++k) {
            same = std::tolower(static_cast<unsigned char>(candidate[k])) ==
                   std::tolower(static_cast<unsigned char>(name[k]));
        }
        if (same) return static_cast<tBarcodeType>(i);
    }
    return std::nullopt;
}

#define QUILLET_DRAWING_METHOD(name, function)                                                  \
    std::int16_t Quillet::name(Surface* pObject, float pX, float pY, std::string& pCode,        \
                               std::int16_t pWidth, std::int16_t pHeight, std::int16_t pText,   \
                               bool pBold, std::string_view pFont, std::int32_t pForeColor,     \
                               std::int32_t pLineColor, std::string_view pRatio, bool pChk) {   \
        return function(Arguments{pObject, pX, pY, pCode, pWidth, pHeight, pText, pBold, pFont, \
                                  pForeColor, pLineColor, pRatio, pChk});                       \
    }
QUILLET_DRAWING_METHOD(BarUPCAPlus, drawUpcAPlus)
QUILLET_DRAWING_METHOD(BarCODABAR, drawCodabar)
QUILLET_DRAWING_METHOD(BarCODE11, drawCode11)
QUILLET_DRAWING_METHOD(BarCODE25, drawCode25)
QUILLET_DRAWING_METHOD(BarCODE39, drawCode39)
QUILLET_DRAWING_METHOD(BarCODE39F, drawCode39FullAscii)
QUILLET_DRAWING_METHOD(BarISBN, drawIsbn)
QUILLET_DRAWING_METHOD(BarMSI, drawMsi)
QUILLET_DRAWING_METHOD(BarPOSTNET, drawPostnet)
QUILLET_DRAWING_METHOD(BarCODE93, drawCode93)
QUILLET_DRAWING_METHOD(BarEAN13, drawEan13)
QUILLET_DRAWING_METHOD(BarCODE128, drawCode128)
QUILLET_DRAWING_METHOD(BarEAN8, drawEan8)
QUILLET_DRAWING_METHOD(BarUPCA, drawUpcA)
QUILLET_DRAWING_METHOD(BarUPCE, drawUpcE)
#undef QUILLET_DRAWING_METHOD

std::string_view Symbology::name() const noexcept {
    const auto index = static_cast<std::size_t>(value_);
    if (extended_) return index < extendedTypeNames.size() ? extendedTypeNames[index] : "";
    return index < barcodeTypeNames.size() ? barcodeTypeNames[index] : "";
}

std::int16_t Quillet::Draw(Symbology type, Surface* pObject, DrawingArguments& a) {
    const Arguments arguments{pObject,      a.pX,     a.pY,    a.pCode, a.pWidth,
                              a.pHeight,    a.pText,  a.pBold, a.pFont, a.pForeColor,
                              a.pLineColor, a.pRatio, a.pChk};
    if (type.isExtended()) return drawExtended(type.extendedType(), arguments);
    const auto index = static_cast<std::size_t>(type.barcodeType());
    if (type.barcodeType() < 0 || index >= drawingFunctions.size()) raise(error::invalidArgument);
    return drawingFunctions[index](arguments);
}

void Quillet::SupBarType(std::int64_t value) {
    if (value < int16Min || value > int16Max) raise(error::overflow);
    supBarType_ = static_cast<std::int16_t>(value);
    if (propertyChanged) propertyChanged("SupBarType");
}

void Quillet::ShowAboutBox() const {
    if (aboutBox) aboutBox();
}

Extent Quillet::Resize(Extent) {
    return fixedSize;
}

}  // namespace quillet
