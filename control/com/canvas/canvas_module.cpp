// The canvas's in-process server: exports, class factory and self-registration, for all users
// (regsvr32) or for the current user only (regsvr32 /n /i:user, through DllInstall).
#include <atomic>
#include <string>

#include "canvas.h"
#include "control/com/class_factory.h"
#include "control/com/registration.h"

namespace quillet::canvas {

HINSTANCE moduleInstance = nullptr;

namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

void lockServer(bool lock) noexcept {
    lock ? ++serverLocks : --serverLocks;
}

com::ClassFactory<&Canvas::create, &lockServer> factory;

// Registered by the control's registration code, which keeps the keys that the other
// bitness's registration of the canvas still needs.
const com::ClassEntry serverClasses[] = {
    {&CLSID_Canvas, L"Quillet.Canvas", L"Quillet Canvas", L"Apartment"}};

}  // namespace

void objectCreated() noexcept {
    ++liveObjects;
}
void objectDestroyed() noexcept {
    --liveObjects;
}

}  // namespace quillet::canvas

using namespace quillet::canvas;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_Canvas) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return liveObjects > 0 || serverLocks > 0 ? S_FALSE : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return quillet::com::registerServer(quillet::com::Scope::machine, serverClasses);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return quillet::com::unregisterServer(quillet::com::Scope::machine, serverClasses);
}

// regsvr32 /n /i:user registers for the current user only, regsvr32 /u /n /i:user removes that;
// /i without a command line, or with "machine", for all users.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
    return quillet::com::installServer(install != FALSE, commandLine, serverClasses);
}
