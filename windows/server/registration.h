// Self-registration of an in-process server: its classes and the type library embedded in the
// module, for all users or for the current user only, one bitness beside the other.
//
// The keys are written by hand rather than by RegisterTypeLib, so that the per-user
// registration lands under HKEY_CURRENT_USER wherever it runs, and so that unregistering knows
// exactly what it wrote. On 64-bit Windows the CLSID keys of the two bitnesses live apart, while
// the ProgID and type-library keys (and, depending on the system, the interface keys) are one
// for both: unregistering one bitness keeps what the other still needs.
#pragma once

#include <windows.h>

#include <span>
#include <string>

namespace quillet::com {

// For all users (HKEY_LOCAL_MACHINE\Software\Classes, what regsvr32 writes) or for the current
// user only (HKEY_CURRENT_USER\Software\Classes, what regsvr32 /n /i:user writes without
// administrator rights).
enum class Scope { machine, user };

// One creatable class of the server.
struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* description;
    const wchar_t* threadingModel;  // "Apartment", "Both" ...
    // An ActiveX control also gets the Control, ToolboxBitmap32 and MiscStatus keys.
    bool control = false;
    int toolboxBitmap = 0;  // resource identifier in the module
    DWORD miscStatus = 0;
};

// The file of the module (DLL) this code is linked into.
std::wstring ownModulePath();

// Writes the classes, the embedded type library and its interfaces into the scope, for this
// module's bitness. On failure nothing of it stays behind.
HRESULT registerServer(Scope scope, std::span<const ClassEntry> classes);

// Removes this bitness's registration from the scope; what the other bitness's registration of
// the same server still uses stays. A registration that is not there is no error.
HRESULT unregisterServer(Scope scope, std::span<const ClassEntry> classes);

// DllInstall's command line: empty or "machine" for all users, "user" for the current user.
// Anything else is E_INVALIDARG.
HRESULT installServer(bool install, const wchar_t* commandLine,
                      std::span<const ClassEntry> classes);

}  // namespace quillet::com
