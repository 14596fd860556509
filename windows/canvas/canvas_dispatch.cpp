#include "canvas.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "render/errors.h"
#include "surfaces/png_encoder.h"
#include "windows/server/server.h"

namespace quillet::canvas {
namespace {

// The forms of Line, as a VB host encodes them in the flags: B, F, and a start point given.
constexpr short boxFlag = 0x02;
constexpr short fillFlag = 0x04;
constexpr short startGivenFlag = 0x20;

constexpr std::int32_t outOfMemory = 7;
constexpr std::int32_t internalError = 51;
constexpr std::int32_t diskFull = 61;
constexpr std::int32_t fileAccessError = 75;
constexpr std::int32_t pathNotFound = 76;
constexpr std::int32_t cannotCreateImage = 480;

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

template <class Body>
HRESULT guarded(Body&& body) {
    try {
        body();
        return S_OK;
    } catch (const RuntimeError& failure) {
        return runtimeError(failure.number());
    } catch (const std::bad_alloc&) {
        return runtimeError(outOfMemory);
    } catch (...) {
        return runtimeError(internalError);
    }
}

template <class T>
HRESULT answer(T* out, T value) {
    if (out == nullptr) return E_POINTER;
    *out = value;
    return S_OK;
}

COLORREF colorOf(OLE_COLOR color) {
    COLORREF translated = 0;
    if (FAILED(OleTranslateColor(color, nullptr, &translated))) raise(error::invalidPropertyValue);
    return translated;
}

struct Gdi {
    HGDIOBJ object;
    explicit Gdi(HGDIOBJ handle) : object(handle) {
        if (handle == nullptr) raise(outOfMemory);
    }
    ~Gdi() { DeleteObject(object); }
    Gdi(const Gdi&) = delete;
    Gdi& operator=(const Gdi&) = delete;
};

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

// GDI keeps coordinates within 2^27 pixels: a position beyond is clipped there, and one that is
// not a number is the overflow a VB host reports for it.
LONG devicePixel(double value) {
    if (std::isnan(value)) raise(error::overflow);
    constexpr double limit = 1 << 27;
    return static_cast<LONG>(std::round(std::clamp(value, -limit, limit)));
}

// The lines of a text, as a picture box measures and prints them: split at CR LF, CR or LF.
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

std::wstring extensionOf(const std::wstring& path) {
    const std::size_t dot = path.find_last_of(L".\\/:");
    if (dot == std::wstring::npos || path[dot] != L'.') return {};
    std::wstring extension = path.substr(dot + 1);
    for (wchar_t& c : extension) c = static_cast<wchar_t>(towlower(c));
    return extension;
}

// Writes under a temporary name beside the target and renames it: a failure never leaves a
// partial file under the target's name, nor replaces an existing one.
void writeFile(const std::wstring& path, const std::string& bytes) {
    // Atomic: a web server runs pages on many threads, each with canvases of its own.
    static std::atomic<unsigned long> serial{0};
    const std::wstring temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++serial) + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        raise(GetLastError() == ERROR_PATH_NOT_FOUND ? pathNotFound : fileAccessError);
    DWORD written = 0;
    const BOOL wrote =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD writeError = GetLastError();
    const BOOL closed = CloseHandle(file);
    if (!wrote || written != bytes.size() || !closed) {
        DeleteFileW(temporary.c_str());
        raise(writeError == ERROR_DISK_FULL ? diskFull : fileAccessError);
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        raise(fileAccessError);
    }
}

template <class T>
void append(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Clears what a font record leaves undefined: a GDI may copy whatever memory lies beyond the
// terminating NUL of the full name and style (Wine does), so that the same drawing would give
// other bytes on every recording. Readers stop at the NUL; the picture is unchanged.
void clearUndefinedFontBytes(std::string& metafile) {
    constexpr std::size_t fontOffset = offsetof(EMREXTCREATEFONTINDIRECTW, elfw);
    constexpr std::size_t fontEnd = fontOffset + offsetof(EXTLOGFONTW, elfPanose) + sizeof(PANOSE);
    std::size_t at = 0;
    while (at + sizeof(EMR) <= metafile.size()) {
        EMR header;
        std::memcpy(&header, metafile.data() + at, sizeof header);
        if (header.nSize < sizeof(EMR) || at + header.nSize > metafile.size()) return;
        // Only the form with a PANOSE (EXTLOGFONTW): a larger record holds a design vector.
        if (header.iType == EMR_EXTCREATEFONTINDIRECTW && header.nSize >= fontEnd &&
            header.nSize <= fontOffset + sizeof(EXTLOGFONTW)) {
            char* font = metafile.data() + at + fontOffset;
            const auto clearAfterNul = [](char* text, std::size_t characters) {
                std::size_t i = 0;
                while (i < characters && (text[2 * i] != 0 || text[2 * i + 1] != 0)) ++i;
                if (i < characters) std::memset(text + 2 * i, 0, 2 * (characters - i));
            };
            clearAfterNul(font + offsetof(EXTLOGFONTW, elfFullName), LF_FULLFACESIZE);
            clearAfterNul(font + offsetof(EXTLOGFONTW, elfStyle), LF_FACESIZE);
            clearAfterNul(font + offsetof(LOGFONTW, lfFaceName), LF_FACESIZE);
            std::memset(metafile.data() + at + fontEnd, 0, header.nSize - fontEnd);
        }
        if (header.iType == EMR_EOF) return;
        at += header.nSize;
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

HENHMETAFILE Canvas::recordMetafile() const {
    // The frame is the picture's size in hundredths of a millimetre; the mapping makes one
    // logical unit one pixel of the picture, whatever the reference device's resolution.
    const RECT frame{0, 0, std::lround(widthPixels_ * 2540.0 / resolution_),
                     std::lround(heightPixels_ * 2540.0 / resolution_)};
    HDC meta = CreateEnhMetaFileW(dc_, nullptr, &frame, L"Quillet Canvas\0\0");
    if (meta == nullptr) raise(outOfMemory);
    const double deviceX =
        static_cast<double>(GetDeviceCaps(dc_, HORZRES)) / GetDeviceCaps(dc_, HORZSIZE) / 100.0;
    const double deviceY =
        static_cast<double>(GetDeviceCaps(dc_, VERTRES)) / GetDeviceCaps(dc_, VERTSIZE) / 100.0;
    SetMapMode(meta, MM_ANISOTROPIC);
    SetWindowExtEx(meta, widthPixels_, heightPixels_, nullptr);
    SetViewportExtEx(meta, std::lround(frame.right * deviceX), std::lround(frame.bottom * deviceY),
                     nullptr);
    HFONT font = nullptr;
    std::size_t fontIndex = 0;
    try {
        fill(meta, {0, 0, widthPixels_, heightPixels_}, back_);
        for (const Operation& operation : operations_) paint(meta, operation, font, fontIndex);
    } catch (...) {
        DeleteEnhMetaFile(CloseEnhMetaFile(meta));
        if (font != nullptr) DeleteObject(font);
        throw;
    }
    HENHMETAFILE metafile = CloseEnhMetaFile(meta);
    if (font != nullptr) DeleteObject(font);
    if (metafile == nullptr) raise(outOfMemory);
    return metafile;
}

std::string Canvas::encode(const std::wstring& extension) const {
    GdiFlush();
    std::string out;
    if (extension == L"png") {
        PngEncoder encoder;
        try {
            encoder.encode(reinterpret_cast<const unsigned char*>(pixels_), widthPixels_,
                           heightPixels_, widthPixels_ * 4, out);
        } catch (const std::runtime_error&) {
            raise(cannotCreateImage);
        }
    } else if (extension == L"bmp") {
        // 24 bits, bottom-up: the form every reader takes.
        const std::uint32_t rowBytes = (static_cast<std::uint32_t>(widthPixels_) * 3 + 3) & ~3u;
        const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(heightPixels_);
        const std::uint32_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        out.reserve(offset + imageBytes);
        append(out, BITMAPFILEHEADER{0x4D42, offset + imageBytes, 0, 0, offset});
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = widthPixels_;
        header.biHeight = heightPixels_;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = imageBytes;
        header.biXPelsPerMeter = header.biYPelsPerMeter = std::lround(resolution_ / 0.0254);
        append(out, header);
        for (long y = heightPixels_ - 1; y >= 0; --y) {
            const std::uint32_t* row = pixels_ + static_cast<std::size_t>(y) * widthPixels_;
            for (long x = 0; x < widthPixels_; ++x) {
                const std::uint32_t pixel = row[x];
                out.push_back(static_cast<char>(pixel & 0xFF));
                out.push_back(static_cast<char>((pixel >> 8) & 0xFF));
                out.push_back(static_cast<char>((pixel >> 16) & 0xFF));
            }
            out.append(rowBytes - static_cast<std::uint32_t>(widthPixels_) * 3, '\0');
        }
    } else if (extension == L"emf") {
        HENHMETAFILE metafile = recordMetafile();
        const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
        out.resize(size);
        GetEnhMetaFileBits(metafile, size, reinterpret_cast<BYTE*>(out.data()));
        DeleteEnhMetaFile(metafile);
        if (size == 0) raise(outOfMemory);
        clearUndefinedFontBytes(out);
    } else {
        raise(error::invalidArgument);
    }
    return out;
}

HRESULT Canvas::SavePicture(BSTR path) {
    return guarded([&] {
        const std::wstring target(path != nullptr ? path : L"",
                                  path != nullptr ? SysStringLen(path) : 0);
        if (target.empty()) raise(error::invalidArgument);
        writeFile(target, encode(extensionOf(target)));
    });
}

// For a web page's Response.BinaryWrite: the file's bytes without a file, so that concurrent
// requests share no temporary name.
HRESULT Canvas::PictureData(BSTR format, VARIANT* data) {
    if (data == nullptr) return E_POINTER;
    VariantInit(data);
    return guarded([&] {
        std::wstring extension(format != nullptr ? format : L"",
                               format != nullptr ? SysStringLen(format) : 0);
        if (!extension.empty() && extension[0] == L'.') extension.erase(0, 1);
        for (wchar_t& c : extension) c = static_cast<wchar_t>(towlower(c));
        const std::string bytes = encode(extension);
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        if (array == nullptr) raise(outOfMemory);
        void* elements = nullptr;
        SafeArrayAccessData(array, &elements);
        std::memcpy(elements, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
        data->vt = VT_ARRAY | VT_UI1;
        data->parray = array;
    });
}

HRESULT Canvas::get_Picture(IPictureDisp** picture) {
    if (picture == nullptr) return E_POINTER;
    *picture = nullptr;
    return guarded([&] {
        // A copy, so that the picture stays as it is when the canvas draws on; a DIB section of
        // the same format, so that hosts that save it keep every colour.
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = widthPixels_;
        format.bmiHeader.biHeight = -heightPixels_;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP copy = CreateDIBSection(dc_, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (copy == nullptr) raise(cannotCreateImage);
        HDC target = CreateCompatibleDC(dc_);
        HGDIOBJ previous = SelectObject(target, copy);
        BitBlt(target, 0, 0, widthPixels_, heightPixels_, dc_, 0, 0, SRCCOPY);
        SelectObject(target, previous);
        DeleteDC(target);
        PICTDESC description{};
        description.cbSizeofstruct = sizeof description;
        description.picType = PICTYPE_BITMAP;
        description.bmp.hbitmap = copy;
        const HRESULT result = OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                                        reinterpret_cast<void**>(picture));
        if (FAILED(result)) {
            DeleteObject(copy);
            raise(outOfMemory);
        }
    });
}

HRESULT Canvas::get_hDC(LONG* dc) {
    // GDI handles fit in 32 bits on 64-bit Windows too, as a VB host's hDC is a Long.
    return answer<LONG>(dc, static_cast<LONG>(reinterpret_cast<std::intptr_t>(dc_)));
}

}  // namespace quillet::canvas
