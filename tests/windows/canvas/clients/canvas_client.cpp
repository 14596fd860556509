// A C++ host of Quillet.Canvas, run under Wine:
//   canvas_client trace CASES   the control's trace cases drawn onto a canvas: every call the
//                               control makes is recorded, as `quillet trace` writes it, and
//                               then made on the canvas, which must take it
//   canvas_client pictures DIR  EMF playback against the pixels, the Picture round trip and the
//                               errors a host sees in EXCEPINFO
//   canvas_client registered    the canvas registered for this bitness and working
//   canvas_client unregistered  none of its keys left in this bitness's view
#include <fcntl.h>
#include <io.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client.h"
#include "quillet_canvas.h"
#include "recording_dispatch.h"

namespace client {
namespace {

struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

struct Exception : EXCEPINFO {
    Exception() : EXCEPINFO{} {}
    ~Exception() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
    Exception(const Exception&) = delete;
    Exception& operator=(const Exception&) = delete;
};

// The drawing object the control sees: each call goes to the recording object first (which
// answers TextWidth and TextHeight with the trace's metrics, so that the trace stays comparable)
// and then to the canvas, whose failure becomes the control's.
class Forwarder final : public IDispatch {
  public:
    Forwarder(IDispatch* recorder, IDispatch* canvas) : recorder_(recorder), canvas_(canvas) {}
    virtual ~Forwarder() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        const HRESULT result = recorder_->GetIDsOfNames(iid, names, count, locale, ids);
        if (SUCCEEDED(result) && count == 1 && ids[0] >= 1 && ids[0] <= 10)
            names_[static_cast<std::size_t>(ids[0])] = names[0];
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        HRESULT status =
            recorder_->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
        if (FAILED(status)) return status;
        LPOLESTR name = const_cast<LPOLESTR>(names_[static_cast<std::size_t>(id)].c_str());
        DISPID canvasId = DISPID_UNKNOWN;
        status = canvas_->GetIDsOfNames(IID_NULL, &name, 1, locale, &canvasId);
        if (FAILED(status)) return status;
        Variant ignored;
        return canvas_->Invoke(canvasId, IID_NULL, locale, flags, parameters,
                               result != nullptr ? &ignored : nullptr, exception, argumentError);
    }

  private:
    IDispatch* recorder_;
    IDispatch* canvas_;
    std::array<std::wstring, 11> names_;
};

// The control as trace.cpp calls it, with the canvas slipped in behind its drawing object.
class ControlOntoCanvas final : public IDispatch {
  public:
    explicit ControlOntoCanvas(IDispatch* control) : control_(control) {}
    virtual ~ControlOntoCanvas() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            control_->Release();
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return control_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return control_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return control_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        VARIANT& object = parameters->rgvarg[parameters->cArgs - 1];  // pObject comes first
        if (parameters->cArgs != 13 || object.vt != (VT_DISPATCH | VT_BYREF))
            return control_->Invoke(id, iid, locale, flags, parameters, result, exception,
                                    argumentError);
        IDispatch* canvas = createByProgId(L"Quillet.Canvas");
        check(canvas != nullptr, "canvas created by ProgID");
        if (canvas == nullptr) return E_FAIL;
        IDispatch* recorder = *object.ppdispVal;
        Forwarder forwarder(recorder, canvas);
        *object.ppdispVal = &forwarder;
        const HRESULT status =
            control_->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
        *object.ppdispVal = recorder;
        canvas->Release();
        return status;
    }

  private:
    IDispatch* control_;
    ULONG references_ = 1;
};

HRESULT invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments,
               VARIANT* result, EXCEPINFO* exception) {
    return invokeByName(object, name, flags, arguments, result, exception);
}

VARIANT number(VARTYPE type, double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    VariantChangeType(&v, &v, 0, type);
    return v;
}

void put(IDispatch* object, const wchar_t* name, double value) {
    Exception exception;
    check(SUCCEEDED(invoke(object, name, DISPATCH_PROPERTYPUT, {number(VT_R8, value)}, nullptr,
                           &exception)),
          "setting " + toUtf8(name, wcslen(name)));
}

double get(IDispatch* object, const wchar_t* name) {
    Variant value;
    Exception exception;
    invoke(object, name, DISPATCH_PROPERTYGET, {}, &value, &exception);
    VariantChangeType(&value, &value, 0, VT_R8);
    return value.dblVal;
}

// The picture's pixels, top-down 0x00RRGGBB, as GDI gives them for a bitmap.
std::vector<std::uint32_t> pixelsOf(HBITMAP bitmap, int width, int height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format,
                               DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    check(rows == height, "GetDIBits read every row");
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
}

void drawSymbol(IDispatch* control, IDispatch* canvas) {
    IDispatch* object = canvas;
    float x = 300, y = 150;
    BSTR code = SysAllocString(L"123456789012"), font = SysAllocString(L"Arial"),
         ratio = SysAllocString(L"3:1");
    short width = 15, height = 1200, text = 1;
    VARIANT_BOOL bold = VARIANT_FALSE, chk = VARIANT_FALSE;
    LONG fore = 0x000080, line = 0x800000;
    Variant result;
    Exception exception;
    const HRESULT status =
        invoke(control, L"BarEAN13", DISPATCH_METHOD,
               {byReference(VT_DISPATCH, &object), byReference(VT_R4, &x), byReference(VT_R4, &y),
                byReference(VT_BSTR, &code), byReference(VT_I2, &width),
                byReference(VT_I2, &height), byReference(VT_I2, &text), byReference(VT_BOOL, &bold),
                byReference(VT_BSTR, &font), byReference(VT_I4, &fore), byReference(VT_I4, &line),
                byReference(VT_BSTR, &ratio), byReference(VT_BOOL, &chk)},
               &result, &exception);
    check(status == S_OK && result.vt == VT_I2 && result.iVal == 0, "BarEAN13 onto the canvas");
    SysFreeString(code);
    SysFreeString(font);
    SysFreeString(ratio);
}

void checkPictures(const std::string& folder) {
    IDispatch* control = createByProgId(L"QUILLETPRO.Quillet");
    IDispatch* canvas = createByProgId(L"Quillet.Canvas");
    check(control != nullptr && canvas != nullptr, "control and canvas created");
    if (control == nullptr || canvas == nullptr) return;
    put(canvas, L"Resolution", 300);
    put(canvas, L"Width", 2880);
    put(canvas, L"Height", 1800);
    drawSymbol(control, canvas);
    put(canvas, L"ScaleMode", 3);
    const int width = static_cast<int>(get(canvas, L"Width"));
    const int height = static_cast<int>(get(canvas, L"Height"));
    check(width == 600 && height == 375, "2 x 1.25 inches at 300 DPI in pixels");
    HDC canvasDc = reinterpret_cast<HDC>(static_cast<std::intptr_t>(get(canvas, L"hDC")));
    const std::vector<std::uint32_t> drawn =
        pixelsOf(static_cast<HBITMAP>(GetCurrentObject(canvasDc, OBJ_BITMAP)), width, height);

    // The EMF played back onto a bitmap of the same size: the bars to the pixel; the text, which
    // GDI may smooth differently on the two devices, almost.
    const std::wstring emfPath = toUtf16(folder + "\\symbol.emf");
    Variant path;
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(emfPath.c_str());
    Exception exception;
    check(SUCCEEDED(invoke(canvas, L"SavePicture", DISPATCH_METHOD, {path}, nullptr, &exception)),
          "SavePicture .emf");
    // PictureData gives what SavePicture writes, byte for byte.
    for (const wchar_t* extension : {L"PNG", L"emf", L"bmp"}) {
        const std::string name = toUtf8(extension, wcslen(extension));
        Variant format, data;
        format.vt = VT_BSTR;
        format.bstrVal = SysAllocString(extension);
        check(SUCCEEDED(
                  invoke(canvas, L"PictureData", DISPATCH_METHOD, {format}, &data, &exception)) &&
                  data.vt == (VT_ARRAY | VT_UI1),
              "PictureData(\"" + name + "\") is a byte array");
        std::string file;
        const std::wstring savedPath = toUtf16(folder + "\\data." + name);
        Variant saved;
        saved.vt = VT_BSTR;
        saved.bstrVal = SysAllocString(savedPath.c_str());
        check(SUCCEEDED(
                  invoke(canvas, L"SavePicture", DISPATCH_METHOD, {saved}, nullptr, &exception)),
              "SavePicture ." + name);
        if (FILE* written = _wfopen(savedPath.c_str(), L"rb")) {
            char buffer[4096];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, written)) > 0;)
                file.append(buffer, n);
            std::fclose(written);
        }
        if (data.vt == (VT_ARRAY | VT_UI1)) {
            const std::string bytes(static_cast<const char*>(data.parray->pvData),
                                    data.parray->rgsabound[0].cElements);
            check(!file.empty() && bytes == file,
                  "PictureData(\"" + name + "\") is the saved file");
        }
    }
    HENHMETAFILE metafile = GetEnhMetaFileW(emfPath.c_str());
    check(metafile != nullptr, "the EMF loads");
    if (metafile != nullptr) {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        const RECT all{0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        PlayEnhMetaFile(dc, metafile, &all);
        SelectObject(dc, previous);
        DeleteDC(dc);
        const std::vector<std::uint32_t> played = pixelsOf(bitmap, width, height);
        DeleteObject(bitmap);
        DeleteEnhMetaFile(metafile);
        // The text row starts at pY + pHeight + pHeight \ 20 = 1410 twips, pixel 293.
        const int textTop = 1410 * 300 / 1440;
        // The text may be smoothed and scaled a little differently by the playback: it must
        // cover the same box, give or take a pixel, with about the same amount of ink.
        struct Ink {
            double amount = 0;
            int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
        };
        auto inkOf = [&](const std::vector<std::uint32_t>& pixels) {
            Ink ink;
            for (int y = textTop; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const std::uint32_t pixel = pixels[static_cast<std::size_t>(y) * width + x];
                    const int grey =
                        ((pixel >> 16 & 0xFF) + (pixel >> 8 & 0xFF) + (pixel & 0xFF)) / 3;
                    if (grey == 255) continue;
                    ink.amount += (255 - grey) / 255.0;
                    ink = {ink.amount, std::min(ink.left, x), std::min(ink.top, y),
                           std::max(ink.right, x), std::max(ink.bottom, y)};
                }
            return ink;
        };
        std::size_t barDifferences = 0;
        for (int y = 0; y < textTop; ++y)
            for (int x = 0; x < width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                if (drawn[i] != played[i]) ++barDifferences;
            }
        const Ink picture = inkOf(drawn), playedInk = inkOf(played);
        std::printf(
            "EMF playback: %zu of %d bar-area pixels differ; text ink %.0f and %.0f, "
            "box (%d,%d)-(%d,%d) and (%d,%d)-(%d,%d)\n",
            barDifferences, textTop * width, picture.amount, playedInk.amount, picture.left,
            picture.top, picture.right, picture.bottom, playedInk.left, playedInk.top,
            playedInk.right, playedInk.bottom);
        check(barDifferences == 0, "EMF bars identical to the picture's");
        check(picture.amount > 100 &&
                  std::abs(picture.amount - playedInk.amount) < picture.amount / 10 &&
                  std::abs(picture.left - playedInk.left) <= 1 &&
                  std::abs(picture.top - playedInk.top) <= 1 &&
                  std::abs(picture.right - playedInk.right) <= 1 &&
                  std::abs(picture.bottom - playedInk.bottom) <= 1,
              "EMF text the picture's within smoothing");
    }

    // The Picture property through IPicture::SaveAsFile and OleLoadPicture: the same pixels.
    Variant picture;
    check(SUCCEEDED(invoke(canvas, L"Picture", DISPATCH_PROPERTYGET, {}, &picture, &exception)) &&
              picture.vt == VT_DISPATCH && picture.pdispVal != nullptr,
          "Picture is an object");
    IPicture* saved = nullptr;
    if (picture.vt == VT_DISPATCH && picture.pdispVal != nullptr)
        picture.pdispVal->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&saved));
    check(saved != nullptr, "Picture answers IPicture");
    if (saved != nullptr) {
        IStream* stream = nullptr;
        CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        OLE_HANDLE own = 0;
        saved->get_Handle(&own);
        check(pixelsOf(reinterpret_cast<HBITMAP>(static_cast<std::intptr_t>(own)), width, height) ==
                  drawn,
              "the Picture has the canvas's pixels");
        // What a host stores and loads again (a form's property bag, OleLoadPicture): the
        // picture's persistent form, a bitmap file after a short header.
        IPersistStream* persist = nullptr;
        saved->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
        check(persist != nullptr, "Picture answers IPersistStream");
        const HRESULT savedStatus = persist ? persist->Save(stream, TRUE) : E_NOINTERFACE;
        if (persist != nullptr) persist->Release();
        check(SUCCEEDED(savedStatus), "IPersistStream::Save: " + hex(savedStatus));
        const LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        char header[40] = {};
        stream->Read(header, sizeof header, nullptr);
        check(header[8] == 'B' && header[9] == 'M', "the saved picture is a bitmap file");
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        IPicture* loaded = nullptr;
        check(SUCCEEDED(OleLoadPicture(stream, 0, FALSE, IID_IPicture,
                                       reinterpret_cast<void**>(&loaded))),
              "OleLoadPicture reads it back");
        if (loaded != nullptr) {
            OLE_HANDLE handle = 0;
            loaded->get_Handle(&handle);
            // Wine's loader gives a 32-bit bitmap file's colours back as black: the symbol must
            // come back where it was, in either colour.
            const auto back = pixelsOf(
                reinterpret_cast<HBITMAP>(static_cast<std::intptr_t>(handle)), width, height);
            std::size_t differences = 0;
            for (std::size_t i = 0; i < drawn.size(); ++i)
                differences += (back[i] == 0xFFFFFF) != (drawn[i] == 0xFFFFFF);
            check(differences == 0,
                  "the loaded bitmap has the symbol: " + std::to_string(differences) + " differ");
            loaded->Release();
        }
        stream->Release();
        saved->Release();
    }

    // Errors as a host sees them: the number in scode, the runtime's text, the canvas as source,
    // and no file under the target's name or a temporary one.
    struct Failure {
        const wchar_t* member;
        WORD flags;
        std::string argument;  // a path, or a number for a property
        std::int32_t number;
        const wchar_t* text;
    };
    const Failure failures[] = {
        {L"SavePicture", DISPATCH_METHOD, folder + "\\picture.gif", 5,
         L"Invalid procedure call or argument"},
        {L"SavePicture", DISPATCH_METHOD, folder + "\\missing\\picture.png", 76, L"Path not found"},
        {L"SavePicture", DISPATCH_METHOD, folder + "\\taken.png", 75, L"Path/File access error"},
        {L"Width", DISPATCH_PROPERTYPUT, "1e9", 480, L"Can't create AutoRedraw image"},
        {L"Height", DISPATCH_PROPERTYPUT, "-5", 380, L"Invalid property value"},
    };
    // A folder where the file should go: it cannot be replaced by a file.
    CreateDirectoryW(toUtf16(folder + "\\taken.png").c_str(), nullptr);
    for (const Failure& row : failures) {
        Variant argument;
        if (row.flags == DISPATCH_METHOD) {
            argument.vt = VT_BSTR;
            argument.bstrVal = SysAllocString(toUtf16(row.argument).c_str());
        } else {
            argument.vt = VT_R8;
            argument.dblVal = std::stod(row.argument);
        }
        Exception failure;
        const HRESULT status = invoke(canvas, row.member, row.flags, {argument}, nullptr, &failure);
        const std::string what = toUtf8(row.member, wcslen(row.member)) + " " + row.argument;
        check(status == DISP_E_EXCEPTION, what + ": DISP_E_EXCEPTION, not " + hex(status));
        check(failure.scode == static_cast<HRESULT>(0x800A0000u + row.number),
              what + ": scode " + hex(failure.scode));
        check(failure.bstrDescription != nullptr && wcscmp(failure.bstrDescription, row.text) == 0,
              what + ": description " +
                  (failure.bstrDescription ? toUtf8(failure.bstrDescription) : "none"));
        check(failure.bstrSource != nullptr && wcscmp(failure.bstrSource, L"Quillet.Canvas") == 0,
              what + ": source");
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(toUtf16(folder + "\\*.tmp").c_str(), &found);
    check(search == INVALID_HANDLE_VALUE, "no temporary file left behind");
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    canvas->Release();
    control->Release();
}

bool keyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// What regsvr32 leaves for this bitness (or, after /u, does not): the class, its ProgID, its
// interface and type library, and a canvas created by ProgID that draws.
void checkRegistered(bool present) {
    wchar_t text[64] = {};
    auto guid = [&text](REFGUID id) {
        StringFromGUID2(id, text, 64);
        return std::wstring(text);
    };
    const std::wstring keys[] = {
        L"CLSID\\" + guid(CLSID_Canvas) + L"\\InprocServer32",
        L"Quillet.Canvas\\CLSID",
        L"Interface\\" + guid(IID_ICanvas) + L"\\TypeLib",
        L"TypeLib\\" + guid(LIBID_QuilletCanvas) + L"\\1.0\\409\\" +
            (sizeof(void*) == 8 ? L"win64" : L"win32"),
    };
    for (const auto& key : keys)
        check(keyExists(key) == present,
              "key " + toUtf8(key.data(), key.size()) + (present ? " present" : " absent"));
    if (!present) return;
    ITypeLib* library = nullptr;
    const HRESULT loaded = LoadRegTypeLib(LIBID_QuilletCanvas, 1, 0, 0x409, &library);
    check(loaded == S_OK, "type library found by LoadRegTypeLib: " + hex(loaded));
    if (library != nullptr) library->Release();
    IDispatch* canvas = createByProgId(L"Quillet.Canvas");
    check(canvas != nullptr, "canvas created by ProgID");
    if (canvas == nullptr) return;
    Exception exception;
    VARIANT color;
    VariantInit(&color);
    color.vt = VT_ERROR;
    color.scode = DISP_E_PARAMNOTFOUND;
    check(SUCCEEDED(invoke(canvas, L"Line", DISPATCH_METHOD,
                           {number(VT_I2, 6), number(VT_R8, 0), number(VT_R8, 0),
                            number(VT_R8, 100), number(VT_R8, 100), color},
                           nullptr, &exception)),
          "a filled box drawn");
    canvas->Release();
}

}  // namespace

IDispatch* createControl() {
    IDispatch* control = createByProgId(L"QUILLETPRO.Quillet");
    return control != nullptr ? new ControlOntoCanvas(control) : nullptr;
}

}  // namespace client

int main(int argc, char** argv) {
    using namespace client;
    const std::string part = argc > 1 ? argv[1] : "";
    const bool registry = part == "registered" || part == "unregistered";
    if (argc < (registry ? 2 : 3)) {
        std::printf(
            "usage: quillet_canvas_client trace CASES | pictures FOLDER | registered | "
            "unregistered\n");
        return 64;
    }
    // Traces are compared byte for byte with the host's: no CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    OleInitialize(nullptr);
    if (part == "trace") {
        traceCases(argv[2]);
    } else if (part == "pictures") {
        checkPictures(argv[2]);
    } else if (registry) {
        checkRegistered(part == "registered");
    } else {
        std::printf("unknown part %s\n", part.c_str());
        return 64;
    }
    OleUninitialize();
    std::fflush(stdout);
    return failures() == 0 ? 0 : 1;
}
