// What the parts of Quillet.Canvas share: its own run-time error numbers, the guard that turns a
// failure into the error a VB drawing object raises, GDI objects that free themselves, and the
// painting helpers (canvas_paint.cpp).
#pragma once

#include <windows.h>

#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "render/errors.h"
#include "windows/canvas/canvas.h"

namespace quillet::canvas {

inline constexpr std::int32_t outOfMemory = 7;
inline constexpr std::int32_t internalError = 51;
inline constexpr std::int32_t diskFull = 61;
inline constexpr std::int32_t fileAccessError = 75;
inline constexpr std::int32_t pathNotFound = 76;
inline constexpr std::int32_t cannotCreateImage = 480;

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

struct Gdi {
    HGDIOBJ object;
    explicit Gdi(HGDIOBJ handle) : object(handle) {
        if (handle == nullptr) raise(outOfMemory);
    }
    ~Gdi() { DeleteObject(object); }
    Gdi(const Gdi&) = delete;
    Gdi& operator=(const Gdi&) = delete;
};

COLORREF colorOf(OLE_COLOR color);
void fill(HDC dc, const RECT& box, COLORREF color);
HFONT createFont(const Font& font, long resolution);
// GDI keeps coordinates within 2^27 pixels: a position beyond is clipped there, and one that is
// not a number is the overflow a VB host reports for it.
LONG devicePixel(double value);
// The lines of a text, as a picture box measures and prints them: split at CR LF, CR or LF.
std::vector<std::wstring_view> linesOf(std::wstring_view text);

}  // namespace quillet::canvas
