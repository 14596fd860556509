// The Windows test client: a host that calls the control as VB, a script engine or a container
// would, run under Wine. Each check prints what it found and fails the run on a mismatch.
#pragma once

#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quillet_com.h"
#include "windows/server/wide_text.h"

namespace client {

// Counts failures; a check names what it compared.
void check(bool condition, const std::string& what);
int failures();

using quillet::com::toUtf16;
using quillet::com::toUtf8;
std::string hex(HRESULT value);
// A text as the trace writes it: tab, newline and backslash escaped.
std::string escape(const std::string& text);

// An in-process object created by ProgID, as its IDispatch; nothing when that fails.
IDispatch* createByProgId(const wchar_t* progId);
// The control as this client hosts it, as its IDispatch.
IDispatch* createControl();
// An argument by reference to the caller's variable, as VB passes one.
VARIANT byReference(VARTYPE type, void* storage);
// Calls a member by name with the arguments in the caller's order.
HRESULT invokeByName(IDispatch* object, const wchar_t* name, WORD flags,
                     std::vector<VARIANT>& arguments, VARIANT* result, EXCEPINFO* exception,
                     UINT* argumentError = nullptr);

// The test parts, each returning when done.
void checkRegistry(bool present);
void checkUserRegistration();
void checkRegistrationFree();
void walkTypeLibrary();
void traceCases(const char* casesFile);
void checkRobustness();
void checkContainer();
void checkAboutBox(const char* screenshotFile);

}  // namespace client
