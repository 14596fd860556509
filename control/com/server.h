// The in-process server around one creatable class: the DLL's exports, the count of its live
// objects and locks, and its self-registration. Each DLL links server.cpp and defines
// thisServer() to name its class.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <span>

#include "control/com/registration.h"

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

}  // namespace quillet::com
