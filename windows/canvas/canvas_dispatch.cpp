// Quillet.Canvas as COM sees it: creation, IUnknown and IDispatch, its properties and its
// drawing members; painting is in canvas_paint.cpp, saving in canvas_file.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>

#include "windows/canvas/canvas_support.h"
#include "windows/server/server.h"

namespace quillet::canvas {
namespace {

// The forms of Line, as a VB host encodes them in the flags: B, F, and a start point given.
constexpr short boxFlag = 0x02;
constexpr short fillFlag = 0x04;
constexpr short startGivenFlag = 0x20;

const char* describe(std::int32_t number) noexcept {
    switch (number) {
        case outOfMemory:
            return "Out of memory";
        case internalError:
            return "Internal error";
        case diskFull:
            return "Disk full";
        case fileAccessError:
            return "Path/File access error";
        case pathNotFound:
            return "Path not found";
        case cannotCreateImage:
            return "Can't create AutoRedraw image";
        default:
            return describeError(number);
    }
}

}  // namespace

HRESULT runtimeError(std::int32_t number) {
    const char* text = describe(number);
    com::setErrorInfo(IID_ICanvas, L"Quillet.Canvas", std::wstring(text, text + std::strlen(text)));
    return com::runtimeErrorResult(number);
}

HRESULT Canvas::create(REFIID iid, void** object) {
    Canvas* canvas = new (std::nothrow) Canvas();
    if (canvas == nullptr) return E_OUTOFMEMORY;
    if (canvas->dc_ == nullptr) {
        canvas->Release();
        return E_OUTOFMEMORY;
    }
    const HRESULT result = canvas->QueryInterface(iid, object);
    canvas->Release();
    return result;
}

Canvas::Canvas() {
    com::objectCreated();
    dc_ = CreateCompatibleDC(nullptr);
    if (dc_ == nullptr) return;
    SetBkMode(dc_, TRANSPARENT);
    // Four by two inches, as a picture box of 5760 x 2880 twips.
    try {
        resize(384, 192, 96);
    } catch (...) {
        DeleteDC(dc_);
        dc_ = nullptr;
    }
}

Canvas::~Canvas() {
    if (dc_ != nullptr) {
        SelectObject(dc_, GetStockObject(SYSTEM_FONT));
        if (originalBitmap_ != nullptr) SelectObject(dc_, originalBitmap_);
        DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (fontHandle_ != nullptr) DeleteObject(fontHandle_);
    if (typeInfo_ != nullptr) typeInfo_->Release();
    com::objectDestroyed();
}

HRESULT Canvas::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ICanvas) {
        *object = static_cast<ICanvas*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG Canvas::AddRef() {
    return ++references_;
}

ULONG Canvas::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT Canvas::GetTypeInfoCount(UINT* count) {
    return answer<UINT>(count, 1);
}

HRESULT Canvas::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (typeInfo_ == nullptr) {
        ITypeLib* library = nullptr;
        HRESULT result = LoadTypeLibEx(com::ownModulePath().c_str(), REGKIND_NONE, &library);
        if (FAILED(result)) return result;
        result = library->GetTypeInfoOfGuid(IID_ICanvas, &typeInfo_);
        library->Release();
        if (FAILED(result)) return result;
    }
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
}

HRESULT Canvas::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ITypeInfo* info = nullptr;
    HRESULT result = GetTypeInfo(0, 0, &info);
    if (FAILED(result)) return result;
    result = DispGetIDsOfNames(info, names, count, ids);
    info->Release();
    return result;
}

HRESULT Canvas::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                       VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT status = GetTypeInfo(0, 0, &info);
    if (FAILED(status)) return status;
    SetErrorInfo(0, nullptr);
    // The type information calls the vtable member and turns a failure into DISP_E_EXCEPTION
    // with the number and the text of the error info the member set.
    status = info->Invoke(static_cast<ICanvas*>(this), id, flags, parameters, result, exception,
                          argumentError);
    info->Release();
    return status;
}

HRESULT Canvas::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID_ICanvas ? S_OK : S_FALSE;
}

double Canvas::unitsPerInch() const noexcept {
    switch (scaleMode_) {
        case 2:
            return 72.0;  // points
        case 3:
            return static_cast<double>(resolution_);  // pixels
        case 6:
            return 25.4;  // millimetres
        default:
            return 1440.0;  // twips
    }
}

std::wstring Canvas::textOf(const VARIANT& value) const {
    if (value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND) return {};
    if (value.vt == VT_NULL) raise(error::invalidUseOfNull);
    VARIANT text;
    VariantInit(&text);
    const HRESULT converted =
        VariantChangeType(&text, const_cast<VARIANT*>(&value), VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(converted)) raise(error::typeMismatch);
    std::wstring out(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&text);
    return out;
}

HRESULT Canvas::get_FontName(BSTR* name) {
    if (name == nullptr) return E_POINTER;
    *name = SysAllocStringLen(font_.name.data(), static_cast<UINT>(font_.name.size()));
    return *name != nullptr ? S_OK : runtimeError(outOfMemory);
}

HRESULT Canvas::put_FontName(BSTR name) {
    return guarded([&] {
        std::wstring value(name != nullptr ? name : L"", name != nullptr ? SysStringLen(name) : 0);
        if (value == font_.name) return;
        font_.name = std::move(value);
        if (fontHandle_ != nullptr) {
            SelectObject(dc_, GetStockObject(SYSTEM_FONT));
            DeleteObject(fontHandle_);
            fontHandle_ = nullptr;
        }
    });
}

HRESULT Canvas::get_ForeColor(LONG* color) {
    return answer<LONG>(color, static_cast<LONG>(fore_));
}

HRESULT Canvas::put_ForeColor(LONG color) {
    return guarded([&] { fore_ = colorOf(static_cast<OLE_COLOR>(color)); });
}

HRESULT Canvas::get_FontBold(VARIANT_BOOL* bold) {
    return answer<VARIANT_BOOL>(bold, font_.bold ? VARIANT_TRUE : VARIANT_FALSE);
}

HRESULT Canvas::put_FontBold(VARIANT_BOOL bold) {
    return guarded([&] {
        if ((bold != VARIANT_FALSE) == font_.bold) return;
        font_.bold = bold != VARIANT_FALSE;
        if (fontHandle_ != nullptr) {
            SelectObject(dc_, GetStockObject(SYSTEM_FONT));
            DeleteObject(fontHandle_);
            fontHandle_ = nullptr;
        }
    });
}

HRESULT Canvas::get_FontSize(double* points) {
    return answer(points, font_.points);
}

HRESULT Canvas::put_FontSize(double points) {
    return guarded([&] {
        // A VB picture box takes sizes up to 2160 points and refuses negative ones.
        if (!(points >= 0 && points <= 2160)) raise(error::invalidPropertyValue);
        if (points == font_.points) return;
        font_.points = points;
        if (fontHandle_ != nullptr) {
            SelectObject(dc_, GetStockObject(SYSTEM_FONT));
            DeleteObject(fontHandle_);
            fontHandle_ = nullptr;
        }
    });
}

HRESULT Canvas::get_CurrentX(double* x) {
    return answer(x, currentX_);
}

HRESULT Canvas::put_CurrentX(double x) {
    currentX_ = x;
    return S_OK;
}

HRESULT Canvas::get_CurrentY(double* y) {
    return answer(y, currentY_);
}

HRESULT Canvas::put_CurrentY(double y) {
    currentY_ = y;
    return S_OK;
}

HRESULT Canvas::TextWidth(BSTR text, double* width) {
    if (width == nullptr) return E_POINTER;
    return guarded([&] {
        currentFont();
        LONG widest = 0;
        for (std::wstring_view line : linesOf({text, text != nullptr ? SysStringLen(text) : 0})) {
            SIZE extent{};
            GetTextExtentPoint32W(dc_, line.data(), static_cast<int>(line.size()), &extent);
            widest = std::max(widest, extent.cx);
        }
        *width = widest / pixelsPerUnit();
    });
}

HRESULT Canvas::TextHeight(BSTR text, double* height) {
    if (height == nullptr) return E_POINTER;
    return guarded([&] {
        currentFont();
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        const std::size_t lines = linesOf({text, text != nullptr ? SysStringLen(text) : 0}).size();
        *height = static_cast<double>(lines) * metrics.tmHeight / pixelsPerUnit();
    });
}

HRESULT Canvas::Line(short flags, double x1, double y1, double x2, double y2, VARIANT color) {
    return guarded([&] {
        if ((flags & ~(boxFlag | fillFlag | startGivenFlag)) != 0 ||
            ((flags & fillFlag) && !(flags & boxFlag)))
            raise(error::invalidArgument);
        if (!(flags & startGivenFlag)) {
            x1 = currentX_;
            y1 = currentY_;
        }
        COLORREF paint = fore_;
        if (!(color.vt == VT_ERROR && color.scode == DISP_E_PARAMNOTFOUND)) {
            VARIANT number;
            VariantInit(&number);
            if (FAILED(VariantChangeType(&number, &color, 0, VT_I4))) raise(error::typeMismatch);
            paint = colorOf(static_cast<OLE_COLOR>(number.lVal));
        }
        const double scale = pixelsPerUnit();
        if (!(flags & boxFlag)) {
            record({Operation::Kind::line,
                    {devicePixel(x1 * scale), devicePixel(y1 * scale), devicePixel(x2 * scale),
                     devicePixel(y2 * scale)},
                    paint,
                    0});
        } else {
            // Both corners are inclusive: the box covers x1 .. x2 + 1, so x .. x + w - 1 is w
            // units wide, as the control draws a bar.
            const double rightX = x2 + 1.0, bottomY = y2 + 1.0;
            const double unitLeft = std::min(x1, rightX), unitRight = std::max(x1, rightX);
            // Every box gets a whole number of pixels, the same for the same width, and a box
            // that continues a run starts where the one before it ended: equal bars stay equal.
            const double width = std::round((unitRight - unitLeft) * scale);
            double left;
            if (run_.started && unitLeft == run_.unitRight) {
                left = run_.deviceRight;
            } else {
                left = std::round(unitLeft * scale);
                run_ = {true, unitLeft, unitRight, left, left};
            }
            run_.unitRight = unitRight;
            run_.deviceRight = left + width;
            const double top = std::round(std::min(y1, bottomY) * scale);
            const double bottom = std::round(std::max(y1, bottomY) * scale);
            const RECT box{devicePixel(left), devicePixel(top), devicePixel(left + width),
                           devicePixel(bottom)};
            if (box.right > box.left && box.bottom > box.top)
                record({(flags & fillFlag) ? Operation::Kind::fill : Operation::Kind::outline, box,
                        paint, 0});
        }
        currentX_ = x2;
        currentY_ = y2;
    });
}

HRESULT Canvas::Print(VARIANT text) {
    return guarded([&] {
        const std::wstring value = textOf(text);
        currentFont();
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        const double scale = pixelsPerUnit();
        // Each line at the current position; a print statement ends its line, so the next one
        // starts at the left, one line lower.
        for (std::wstring_view line : linesOf(value)) {
            texts_.emplace_back(line);
            textFonts_.push_back(font_);
            record({Operation::Kind::text,
                    {devicePixel(textDeviceX(currentX_)), devicePixel(currentY_ * scale), 0, 0},
                    fore_,
                    texts_.size() - 1});
            currentX_ = 0;
            currentY_ += metrics.tmHeight / scale;
        }
    });
}

HRESULT Canvas::get_ScaleMode(short* mode) {
    return answer(mode, scaleMode_);
}

HRESULT Canvas::put_ScaleMode(short mode) {
    return guarded([&] {
        if (mode != 1 && mode != 2 && mode != 3 && mode != 6) raise(error::invalidPropertyValue);
        scaleMode_ = mode;
    });
}

HRESULT Canvas::get_Width(double* width) {
    return answer(width, widthPixels_ / pixelsPerUnit());
}

HRESULT Canvas::put_Width(double width) {
    return guarded([&] {
        const double pixels = std::round(width * pixelsPerUnit());
        if (!(pixels >= 1)) raise(error::invalidPropertyValue);
        if (pixels > 0x7FFFFFFF) raise(cannotCreateImage);
        resize(static_cast<long>(pixels), heightPixels_, resolution_);
    });
}

HRESULT Canvas::get_Height(double* height) {
    return answer(height, heightPixels_ / pixelsPerUnit());
}

HRESULT Canvas::put_Height(double height) {
    return guarded([&] {
        const double pixels = std::round(height * pixelsPerUnit());
        if (!(pixels >= 1)) raise(error::invalidPropertyValue);
        if (pixels > 0x7FFFFFFF) raise(cannotCreateImage);
        resize(widthPixels_, static_cast<long>(pixels), resolution_);
    });
}

HRESULT Canvas::get_Resolution(LONG* dpi) {
    return answer<LONG>(dpi, resolution_);
}

// The picture keeps its size in inches: a canvas of 4 x 2 inches at 96 DPI has 1200 x 600
// pixels at 300 DPI.
HRESULT Canvas::put_Resolution(LONG dpi) {
    return guarded([&] {
        if (dpi < 1 || dpi > 9600) raise(error::invalidPropertyValue);
        const double ratio = static_cast<double>(dpi) / resolution_;
        const double width = std::max(1.0, std::round(widthPixels_ * ratio));
        const double height = std::max(1.0, std::round(heightPixels_ * ratio));
        if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) raise(cannotCreateImage);
        resize(static_cast<long>(width), static_cast<long>(height), dpi);
    });
}

HRESULT Canvas::get_BackColor(LONG* color) {
    return answer<LONG>(color, static_cast<LONG>(back_));
}

// As in a picture box, a new back colour clears the picture.
HRESULT Canvas::put_BackColor(LONG color) {
    return guarded([&] {
        back_ = colorOf(static_cast<OLE_COLOR>(color));
        Clear();
    });
}

HRESULT Canvas::Clear() {
    fill(dc_, {0, 0, widthPixels_, heightPixels_}, back_);
    operations_.clear();
    texts_.clear();
    textFonts_.clear();
    run_ = {};
    currentX_ = currentY_ = 0;
    return S_OK;
}

HRESULT Canvas::get_hDC(LONG* dc) {
    // GDI handles fit in 32 bits on 64-bit Windows too, as a VB host's hDC is a Long.
    return answer<LONG>(dc, static_cast<LONG>(reinterpret_cast<std::intptr_t>(dc_)));
}

}  // namespace quillet::canvas
