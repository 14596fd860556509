#include "windows/server/server.h"

#include <oleauto.h>

#include <atomic>

namespace quillet::com {

HINSTANCE moduleInstance = nullptr;

namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

}  // namespace

void objectCreated() noexcept {
    ++liveObjects;
}
void objectDestroyed() noexcept {
    --liveObjects;
}
void lockModule(bool lock) noexcept {
    lock ? ++serverLocks : --serverLocks;
}

void setErrorInfo(REFGUID iid, const wchar_t* source, const std::wstring& description) noexcept {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

}  // namespace quillet::com

using namespace quillet::com;

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
    if (clsid != thisServer().clsid) return CLASS_E_CLASSNOTAVAILABLE;
    return thisServer().factory.QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return liveObjects > 0 || serverLocks > 0 ? S_FALSE : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return registerServer(Scope::machine, thisServer().classes);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return unregisterServer(Scope::machine, thisServer().classes);
}

// regsvr32 /n /i:user registers for the current user only, regsvr32 /u /n /i:user removes that;
// /i without a command line, or with "machine", for all users.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
    return installServer(install != FALSE, commandLine, thisServer().classes);
}
