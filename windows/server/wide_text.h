// UTF-8 (the portable core's text) to and from UTF-16 (BSTRs and Windows APIs).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace quillet::com {

inline std::string toUtf8(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr,
                        nullptr);
    return out;
}

inline std::string toUtf8(BSTR text) { return toUtf8(text, text ? SysStringLen(text) : 0); }

inline std::wstring toUtf16(std::string_view text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

}  // namespace quillet::com
