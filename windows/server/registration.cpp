#include "windows/server/registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace quillet::com {
namespace {

// The other bitness's view of the registry, as a 64-bit process sees the 32-bit keys and the
// other way round. On 32-bit Windows there is only one view and the flag changes nothing.
constexpr REGSAM ownView = 0;
constexpr REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr const wchar_t* ownPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";
constexpr const wchar_t* otherPlatform = sizeof(void*) == 8 ? L"win32" : L"win64";

// OLE Automation's proxies: for dual and oleautomation interfaces, and for dispinterfaces.
constexpr const wchar_t* automationProxy = L"{00020424-0000-0000-C000-000000000046}";
constexpr const wchar_t* dispatchProxy = L"{00020420-0000-0000-C000-000000000046}";

std::wstring guidText(REFGUID guid) {
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

std::wstring hexText(unsigned long value) {
    wchar_t text[16] = {};
    wsprintfW(text, L"%lx", value);
    return text;
}

// A key below the scope's Software\Classes, in one view of the registry.
class Registry {
  public:
    Registry(Scope scope, REGSAM view) noexcept
        : base_(scope == Scope::machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER), view_(view) {}

    LSTATUS write(const std::wstring& path, const wchar_t* name, const std::wstring& value) const {
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExW(base_, full(path).c_str(), 0, nullptr, 0,
                                         KEY_SET_VALUE | view_, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return status;
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return status;
    }

    bool exists(const std::wstring& path) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(base_, full(path).c_str(), 0, KEY_READ | view_, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    // Whether the key has a subkey other than those named.
    bool hasSubkeysBesides(const std::wstring& path,
                           std::initializer_list<const wchar_t*> names) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(base_, full(path).c_str(), 0, KEY_READ | view_, &key) != ERROR_SUCCESS)
            return false;
        bool found = false;
        wchar_t name[256];
        for (DWORD i = 0; !found; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            found = true;
            for (const wchar_t* ignored : names)
                if (_wcsicmp(name, ignored) == 0) found = false;
        }
        RegCloseKey(key);
        return found;
    }

    void remove(const std::wstring& path) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(base_, full(path).c_str(), 0, KEY_ALL_ACCESS | view_, &key) !=
            ERROR_SUCCESS)
            return;
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
        RegDeleteKeyExW(base_, full(path).c_str(), view_, 0);
    }

    // Removes the key when it holds neither subkeys nor values: the CLSID, Interface and TypeLib
    // keys that a first per-user registration created.
    void removeIfEmpty(const std::wstring& path) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(base_, full(path).c_str(), 0, KEY_READ | view_, &key) != ERROR_SUCCESS)
            return;
        DWORD subkeys = 1, values = 1;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        if (subkeys == 0 && values == 0) RegDeleteKeyExW(base_, full(path).c_str(), view_, 0);
    }

  private:
    static std::wstring full(const std::wstring& path) { return L"Software\\Classes\\" + path; }

    HKEY base_;
    REGSAM view_;
};

struct Entry {
    std::wstring path;
    const wchar_t* name;  // nullptr: the key's default value
    std::wstring value;
};

// What the embedded type library registers: its version key and its interfaces.
struct TypeLibrary {
    std::wstring versionKey;  // TypeLib\{LIBID}\1.0
    std::wstring lcidKey;     // ...\409
    std::vector<Entry> libraryEntries;
    std::vector<std::wstring> interfaceKeys;
    std::vector<Entry> interfaceEntries;
};

HRESULT describeTypeLibrary(const std::wstring& modulePath, TypeLibrary& out) {
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
    if (FAILED(result)) return result;
    TLIBATTR* attributes = nullptr;
    result = library->GetLibAttr(&attributes);
    if (FAILED(result)) {
        library->Release();
        return result;
    }
    const std::wstring libraryId = guidText(attributes->guid);
    const std::wstring version =
        hexText(attributes->wMajorVerNum) + L"." + hexText(attributes->wMinorVerNum);
    out.versionKey = L"TypeLib\\" + libraryId + L"\\" + version;
    out.lcidKey = out.versionKey + L"\\" + hexText(attributes->lcid);
    BSTR name = nullptr, description = nullptr;
    library->GetDocumentation(-1, &name, &description, nullptr, nullptr);
    const std::wstring folder = modulePath.substr(0, modulePath.find_last_of(L"\\/"));
    out.libraryEntries = {
        {out.versionKey, nullptr,
         SysStringLen(description) > 0 ? description : (name != nullptr ? name : L"")},
        {out.versionKey + L"\\FLAGS", nullptr, std::to_wstring(attributes->wLibFlags)},
        {out.versionKey + L"\\HELPDIR", nullptr, folder},
        {out.lcidKey + L"\\" + ownPlatform, nullptr, modulePath},
    };
    SysFreeString(name);
    SysFreeString(description);
    library->ReleaseTLibAttr(attributes);

    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ITypeInfo* info = nullptr;
        if (FAILED(library->GetTypeInfo(i, &info))) continue;
        TYPEATTR* type = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&type))) {
            const bool automation = (type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION));
            if (type->typekind == TKIND_DISPATCH ||
                (type->typekind == TKIND_INTERFACE && automation)) {
                BSTR interfaceName = nullptr;
                library->GetDocumentation(static_cast<INT>(i), &interfaceName, nullptr, nullptr,
                                          nullptr);
                const std::wstring key = L"Interface\\" + guidText(type->guid);
                const wchar_t* proxy = automation ? automationProxy : dispatchProxy;
                out.interfaceKeys.push_back(key);
                out.interfaceEntries.push_back(
                    {key, nullptr, interfaceName != nullptr ? interfaceName : L""});
                out.interfaceEntries.push_back({key + L"\\ProxyStubClsid", nullptr, proxy});
                out.interfaceEntries.push_back({key + L"\\ProxyStubClsid32", nullptr, proxy});
                out.interfaceEntries.push_back({key + L"\\TypeLib", nullptr, libraryId});
                out.interfaceEntries.push_back({key + L"\\TypeLib", L"Version", version});
                SysFreeString(interfaceName);
            }
            info->ReleaseTypeAttr(type);
        }
        info->Release();
    }
    library->Release();
    return S_OK;
}

std::vector<Entry> classEntries(const ClassEntry& entry, const std::wstring& modulePath,
                                const std::wstring& libraryId) {
    const std::wstring key = L"CLSID\\" + guidText(*entry.clsid);
    std::vector<Entry> entries = {
        {key, nullptr, entry.description},
        {key + L"\\InprocServer32", nullptr, modulePath},
        {key + L"\\InprocServer32", L"ThreadingModel", entry.threadingModel},
        {key + L"\\ProgID", nullptr, entry.progId},
        {key + L"\\TypeLib", nullptr, libraryId},
        {key + L"\\Version", nullptr, L"1.0"},
    };
    if (entry.control) {
        entries.push_back({key + L"\\Control", nullptr, L""});
        entries.push_back({key + L"\\ToolboxBitmap32", nullptr,
                           modulePath + L", " + std::to_wstring(entry.toolboxBitmap)});
        entries.push_back({key + L"\\MiscStatus", nullptr, L"0"});
        entries.push_back({key + L"\\MiscStatus\\1", nullptr, std::to_wstring(entry.miscStatus)});
    }
    return entries;
}

std::vector<Entry> progIdEntries(const ClassEntry& entry) {
    const std::wstring key = entry.progId;
    return {{key, nullptr, entry.description}, {key + L"\\CLSID", nullptr, guidText(*entry.clsid)}};
}

LSTATUS writeAll(const Registry& registry, const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        const LSTATUS status = registry.write(entry.path, entry.name, entry.value);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::wstring ownModulePath() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ownModulePath), &module);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT registerServer(Scope scope, std::span<const ClassEntry> classes) {
    try {
        const std::wstring path = ownModulePath();
        TypeLibrary library;
        if (FAILED(describeTypeLibrary(path, library))) return SELFREG_E_TYPELIB;
        const Registry registry(scope, ownView);
        if (writeAll(registry, library.libraryEntries) != ERROR_SUCCESS ||
            writeAll(registry, library.interfaceEntries) != ERROR_SUCCESS) {
            unregisterServer(scope, classes);
            return SELFREG_E_TYPELIB;
        }
        // The library's GUID is the text after "TypeLib\".
        const std::wstring libraryId = library.versionKey.substr(8, 38);
        for (const ClassEntry& entry : classes) {
            if (writeAll(registry, classEntries(entry, path, libraryId)) != ERROR_SUCCESS ||
                writeAll(registry, progIdEntries(entry)) != ERROR_SUCCESS) {
                unregisterServer(scope, classes);
                return SELFREG_E_CLASS;
            }
        }
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT unregisterServer(Scope scope, std::span<const ClassEntry> classes) {
    try {
        const Registry own(scope, ownView);
        const Registry other(scope, otherView);
        // A key the two bitnesses share is deleted here and written again for the other one
        // when it still needs it; a key of each bitness's own is left alone in the other view.
        for (const ClassEntry& entry : classes) {
            own.remove(L"CLSID\\" + guidText(*entry.clsid));
            own.remove(entry.progId);
            if (other.exists(L"CLSID\\" + guidText(*entry.clsid) + L"\\InprocServer32") &&
                !other.exists(entry.progId))
                writeAll(other, progIdEntries(entry));
        }
        TypeLibrary library;
        if (FAILED(describeTypeLibrary(ownModulePath(), library))) {
            own.removeIfEmpty(L"CLSID");
            return S_OK;
        }
        own.remove(library.lcidKey + L"\\" + ownPlatform);
        if (!own.hasSubkeysBesides(library.lcidKey, {})) own.remove(library.lcidKey);
        if (!own.hasSubkeysBesides(library.versionKey, {L"FLAGS", L"HELPDIR"}))
            own.remove(library.versionKey);
        const std::wstring libraryKey = library.versionKey.substr(0, 8 + 38);
        if (!own.hasSubkeysBesides(libraryKey, {})) own.remove(libraryKey);
        const bool otherLibrary = other.exists(library.lcidKey + L"\\" + otherPlatform);
        bool restore = false;
        for (const std::wstring& key : library.interfaceKeys) {
            own.remove(key);
            restore = restore || (otherLibrary && !other.exists(key));
        }
        if (restore) writeAll(other, library.interfaceEntries);
        for (const wchar_t* container : {L"CLSID", L"Interface", L"TypeLib"})
            own.removeIfEmpty(container);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT installServer(bool install, const wchar_t* commandLine,
                      std::span<const ClassEntry> classes) {
    Scope scope = Scope::machine;
    if (commandLine == nullptr || *commandLine == L'\0' || _wcsicmp(commandLine, L"machine") == 0)
        scope = Scope::machine;
    else if (_wcsicmp(commandLine, L"user") == 0)
        scope = Scope::user;
    else
        return E_INVALIDARG;
    return install ? registerServer(scope, classes) : unregisterServer(scope, classes);
}

}  // namespace quillet::com
