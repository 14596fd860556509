// What leaves the canvas: PNG, BMP and EMF files and their bytes, and a copy as a picture object.
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>

#include "surfaces/png_encoder.h"
#include "windows/canvas/canvas_support.h"

namespace quillet::canvas {
namespace {

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

}  // namespace quillet::canvas
