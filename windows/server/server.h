// The in-process server around one creatable class: the DLL's exports, the count of its live
// objects and locks, and its self-registration. Each DLL links server.cpp and defines
// thisServer() to name its class.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "windows/server/registration.h"

namespace quillet::com {

extern HINSTANCE moduleInstance;

// DllCanUnloadNow answers S_OK only when both counts are back at zero.
void objectCreated() noexcept;
void objectDestroyed() noexcept;
void lockModule(bool lock) noexcept;

struct Server {
    const CLSID& clsid;                   // the class DllGetClassObject hands out
    IClassFactory& factory;               // its factory, a static object
    std::span<const ClassEntry> classes;  // what registration writes
};

// The DLL's own server, defined once in each DLL.
const Server& thisServer();

// A run-time error as a VB host sees it: FACILITY_CONTROL with the number in the low word.
constexpr HRESULT runtimeErrorResult(std::int32_t number) noexcept {
    return static_cast<HRESULT>(0x800A0000u + static_cast<std::uint32_t>(number & 0xFFFF));
}

// Hands a failure's source and description to the caller as the thread's IErrorInfo, as an
// object that supports ISupportErrorInfo does.
void setErrorInfo(REFGUID iid, const wchar_t* source, const std::wstring& description) noexcept;

}  // namespace quillet::com
