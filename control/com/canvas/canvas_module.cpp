// The canvas's in-process server: exports, class factory and self-registration, for all users
// (regsvr32) or for the current user only (regsvr32 /n /i:user, through DllInstall).
#include <atomic>
#include <cwctype>
#include <string>

#include "canvas.h"

// In oleaut32 since Windows Vista; MinGW-w64's headers do not declare them.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path,
                                                 OLECHAR* helpFolder);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID library, WORD major, WORD minor,
                                                   LCID locale, SYSKIND kind);

namespace quillet::canvas {

HINSTANCE moduleInstance = nullptr;

namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

constexpr const wchar_t* progId = L"Quillet.Canvas";
constexpr const wchar_t* versionedProgId = L"Quillet.Canvas.1";
constexpr const wchar_t* className = L"Quillet Canvas";

std::wstring guidText(REFGUID guid) {
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

class ClassFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: its references are module locks.
    ULONG STDMETHODCALLTYPE AddRef() override {
        ++serverLocks;
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        --serverLocks;
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return Canvas::create(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++serverLocks : --serverLocks;
        return S_OK;
    }
};

ClassFactory factory;

// Where the class keys go: HKLM for all users, HKCU for the current user; HKCR merges both.
struct Scope {
    HKEY root;
    bool perUser;
};

LSTATUS setKey(HKEY root, const std::wstring& path, const wchar_t* name,
               const std::wstring& value) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status;
}

void unregisterClass(const Scope& scope) {
    const std::wstring classes = L"Software\\Classes\\";
    for (const std::wstring& key : {classes + L"CLSID\\" + guidText(CLSID_Canvas), classes + progId,
                                    classes + versionedProgId}) {
        RegDeleteTreeW(scope.root, key.c_str());
        RegDeleteKeyW(scope.root, key.c_str());
    }
}

HRESULT registerClass(const Scope& scope) {
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring clsid = classes + L"CLSID\\" + guidText(CLSID_Canvas);
    const std::wstring path = modulePath();
    struct Entry {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    };
    const Entry entries[] = {
        {clsid, nullptr, className},
        {clsid + L"\\InprocServer32", nullptr, path},
        {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsid + L"\\ProgID", nullptr, versionedProgId},
        {clsid + L"\\VersionIndependentProgID", nullptr, progId},
        {clsid + L"\\TypeLib", nullptr, guidText(LIBID_QuilletCanvas)},
        {clsid + L"\\Version", nullptr, L"1.0"},
        {classes + progId, nullptr, className},
        {classes + progId + L"\\CLSID", nullptr, guidText(CLSID_Canvas)},
        {classes + progId + L"\\CurVer", nullptr, versionedProgId},
        {classes + versionedProgId, nullptr, className},
        {classes + versionedProgId + L"\\CLSID", nullptr, guidText(CLSID_Canvas)},
    };
    for (const Entry& entry : entries) {
        if (setKey(scope.root, entry.key, entry.name, entry.value) != ERROR_SUCCESS) {
            unregisterClass(scope);
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

constexpr SYSKIND ownSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

HRESULT registerServer(const Scope& scope) {
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, &library)))
        return SELFREG_E_TYPELIB;
    std::wstring path = modulePath();
    const HRESULT registered = scope.perUser ? RegisterTypeLibForUser(library, path.data(), nullptr)
                                             : RegisterTypeLib(library, path.data(), nullptr);
    library->Release();
    if (FAILED(registered)) return SELFREG_E_TYPELIB;
    return registerClass(scope);
}

HRESULT unregisterServer(const Scope& scope) {
    unregisterClass(scope);
    const HRESULT result =
        scope.perUser ? UnRegisterTypeLibForUser(LIBID_QuilletCanvas, 1, 0, 0x409, ownSysKind)
                      : UnRegisterTypeLib(LIBID_QuilletCanvas, 1, 0, 0x409, ownSysKind);
    // A library that was never registered is not an error for an uninstaller.
    return (SUCCEEDED(result) || result == TYPE_E_REGISTRYACCESS ||
            result == TYPE_E_LIBNOTREGISTERED)
               ? S_OK
               : result;
}

}  // namespace

void objectCreated() noexcept {
    ++liveObjects;
}
void objectDestroyed() noexcept {
    --liveObjects;
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(moduleInstance, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
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
    return registerServer({HKEY_LOCAL_MACHINE, false});
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return unregisterServer({HKEY_LOCAL_MACHINE, false});
}

// regsvr32 /n /i:user registers for the current user alone, which needs no administrator;
// /i without a command line, or with "machine", for all users.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
    std::wstring scope = commandLine != nullptr ? commandLine : L"";
    for (wchar_t& c : scope) c = static_cast<wchar_t>(std::towlower(c));
    Scope target{HKEY_LOCAL_MACHINE, false};
    if (scope == L"user") {
        target = {HKEY_CURRENT_USER, true};
    } else if (!scope.empty() && scope != L"machine") {
        return E_INVALIDARG;
    }
    return install ? registerServer(target) : unregisterServer(target);
}
