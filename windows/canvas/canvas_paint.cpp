// Painting: GDI onto the picture's DIB section, and the same operations replayed onto another
// device (the enhanced metafile), so that both show the same pixels.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "windows/canvas/canvas_support.h"

namespace quillet::canvas {

COLORREF colorOf(OLE_COLOR color) {
    COLORREF translated = 0;
    if (FAILED(OleTranslateColor(color, nullptr, &translated))) raise(error::invalidPropertyValue);
    return translated;
}

void fill(HDC dc, const RECT& box, COLORREF color) {
    Gdi brush(CreateSolidBrush(color));
    FillRect(dc, &box, static_cast<HBRUSH>(brush.object));
}

HFONT createFont(const Font& font, long resolution) {
    LOGFONTW description{};
    description.lfHeight = -static_cast<LONG>(std::lround(font.points * resolution / 72.0));
    description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfOutPrecision = OUT_TT_PRECIS;
    // GDI substitutes a font of its own for a name it does not know, as a VB host does.
    const std::size_t length = std::min<std::size_t>(font.name.size(), LF_FACESIZE - 1);
    std::memcpy(description.lfFaceName, font.name.data(), length * sizeof(wchar_t));
    HFONT handle = CreateFontIndirectW(&description);
    if (handle == nullptr) raise(outOfMemory);
    return handle;
}

LONG devicePixel(double value) {
    if (std::isnan(value)) raise(error::overflow);
    constexpr double limit = 1 << 27;
    return static_cast<LONG>(std::round(std::clamp(value, -limit, limit)));
}

std::vector<std::wstring_view> linesOf(std::wstring_view text) {
    std::vector<std::wstring_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\r' && text[i] != L'\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

void Canvas::resize(long widthPixels, long heightPixels, long resolution) {
    if (widthPixels < 1 || heightPixels < 1 || resolution < 1) raise(error::invalidPropertyValue);
    // GDI refuses a DIB section beyond 2 GB, and many hosts fail well before that.
    if (static_cast<double>(widthPixels) * heightPixels * 4 > 0x7FFFFFFF) raise(cannotCreateImage);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = widthPixels;
    format.bmiHeader.biHeight = -heightPixels;  // top-down, as the PNG encoder reads rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc_, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) raise(cannotCreateImage);
    HGDIOBJ previous = SelectObject(dc_, bitmap);
    if (originalBitmap_ == nullptr) originalBitmap_ = previous;
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    bitmap_ = bitmap;
    pixels_ = static_cast<std::uint32_t*>(bits);
    widthPixels_ = widthPixels;
    heightPixels_ = heightPixels;
    if (resolution != resolution_ && fontHandle_ != nullptr) {
        SelectObject(dc_, GetStockObject(SYSTEM_FONT));
        DeleteObject(fontHandle_);
        fontHandle_ = nullptr;
    }
    resolution_ = resolution;
    Clear();
}

HFONT Canvas::currentFont() {
    if (fontHandle_ == nullptr) {
        fontHandle_ = createFont(font_, resolution_);
        SelectObject(dc_, fontHandle_);
    }
    return fontHandle_;
}

void Canvas::paint(HDC dc, const Operation& operation, HFONT& font, std::size_t& fontIndex) const {
    switch (operation.kind) {
        case Operation::Kind::fill:
            fill(dc, operation.box, operation.color);
            break;
        case Operation::Kind::outline: {
            const RECT& b = operation.box;
            fill(dc, {b.left, b.top, b.right, b.top + 1}, operation.color);
            fill(dc, {b.left, b.bottom - 1, b.right, b.bottom}, operation.color);
            fill(dc, {b.left, b.top, b.left + 1, b.bottom}, operation.color);
            fill(dc, {b.right - 1, b.top, b.right, b.bottom}, operation.color);
            break;
        }
        case Operation::Kind::line: {
            Gdi pen(CreatePen(PS_SOLID, 1, operation.color));
            HGDIOBJ previous = SelectObject(dc, pen.object);
            MoveToEx(dc, operation.box.left, operation.box.top, nullptr);
            LineTo(dc, operation.box.right, operation.box.bottom);
            SelectObject(dc, previous);
            break;
        }
        case Operation::Kind::text: {
            if (font == nullptr || !(textFonts_[fontIndex] == textFonts_[operation.text])) {
                if (font != nullptr) {
                    SelectObject(dc, GetStockObject(SYSTEM_FONT));
                    DeleteObject(font);
                }
                font = createFont(textFonts_[operation.text], resolution_);
                SelectObject(dc, font);
            }
            fontIndex = operation.text;
            const std::wstring& text = texts_[operation.text];
            SetTextColor(dc, operation.color);
            SetBkMode(dc, TRANSPARENT);
            SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
            TextOutW(dc, operation.box.left, operation.box.top, text.data(),
                     static_cast<int>(text.size()));
            break;
        }
    }
}

void Canvas::record(const Operation& operation) {
    operations_.push_back(operation);
    if (operation.kind == Operation::Kind::text) {
        SetTextColor(dc_, operation.color);
        TextOutW(dc_, operation.box.left, operation.box.top, texts_[operation.text].data(),
                 static_cast<int>(texts_[operation.text].size()));
    } else {
        HFONT noFont = nullptr;
        std::size_t noIndex = 0;
        paint(dc_, operation, noFont, noIndex);
    }
}

// A text keeps its place among the boxes that grid fitting moved: its x is shifted as much as
// the run of boxes is shifted at that x.
double Canvas::textDeviceX(double x) const noexcept {
    const double scale = pixelsPerUnit();
    if (!run_.started) return x * scale;
    const double startShift = run_.deviceLeft - run_.unitLeft * scale;
    const double endShift = run_.deviceRight - run_.unitRight * scale;
    const double span = run_.unitRight - run_.unitLeft;
    const double along = span > 0 ? std::clamp((x - run_.unitLeft) / span, 0.0, 1.0)
                                  : (x >= run_.unitRight ? 1.0 : 0.0);
    return x * scale + startShift + along * (endShift - startShift);
}

}  // namespace quillet::canvas
