// Lists what a server writes when regsvr32 registers it for all users, as rows for the
// installer's Registry table, so that the installer and regsvr32 cannot drift apart: the DLL's
// own DllRegisterServer runs with HKEY_LOCAL_MACHINE redirected into a scratch key
// (RegOverridePredefKey), and every value it wrote there becomes one line
//   KEY <tab> NAME <tab> VALUE          (NAME empty for the key's default value)
// KEY below Software\Classes; the DLL's path becomes [#FILE_ID] and its folder [FOLDER_ID], the
// installer's references to the installed file and its folder. Only string values are
// expected; anything else, or a write outside HKEY_LOCAL_MACHINE, fails the run.
//
//   registry_rows DLL OUTPUT FILE_ID FOLDER_ID
//
// A build step runs it under Wine, one build of it per bitness.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* scratchKey = L"Software\\Quillet registry rows";

struct Row {
    std::wstring key, name, value;
};

std::wstring replaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (std::size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Every value below KEY, depth first, keys in the registry's (alphabetical) order.
bool collect(HKEY key, const std::wstring& path, std::vector<Row>& rows) {
    DWORD valueCount = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                     nullptr, nullptr, nullptr, nullptr);
    for (DWORD i = 0; i < valueCount; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            return false;
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        nameLength = 256;
        if (type != REG_SZ ||
            RegEnumValueW(key, i, name, &nameLength, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS) {
            std::fwprintf(stderr, L"%ls\\%ls is not a string value\n", path.c_str(), name);
            return false;
        }
        value.resize(wcsnlen(value.c_str(), value.size()));
        rows.push_back({path, name, value});
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) return false;
        const std::wstring childPath = path.empty() ? name : path + L"\\" + name;
        // A key with neither values nor subkeys (Control) is a row with no value.
        DWORD subkeys = 0, values = 0;
        RegQueryInfoKeyW(child, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        if (subkeys == 0 && values == 0) rows.push_back({childPath, L"", L""});
        const bool done = collect(child, childPath, rows);
        RegCloseKey(child);
        if (!done) return false;
    }
    return true;
}

bool isEmpty(HKEY key) {
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    return subkeys == 0 && values == 0;
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

int fail(const wchar_t* what, long code) {
    std::fwprintf(stderr, L"registry_rows: %ls (%ld)\n", what, code);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fwprintf(stderr, L"usage: registry_rows DLL OUTPUT FILE_ID FOLDER_ID\n");
        return 2;
    }
    HMODULE module = LoadLibraryW(argv[1]);
    if (module == nullptr) return fail(L"cannot load the DLL", static_cast<long>(GetLastError()));
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), MAX_PATH));
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    if (registerServer == nullptr) return fail(L"no DllRegisterServer", 0);

    RegDeleteTreeW(HKEY_CURRENT_USER, scratchKey);
    HKEY machine = nullptr, user = nullptr;
    const std::wstring scratch = scratchKey;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (scratch + L"\\machine").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &machine, nullptr) != ERROR_SUCCESS ||
        RegCreateKeyExW(HKEY_CURRENT_USER, (scratch + L"\\user").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &user, nullptr) != ERROR_SUCCESS)
        return fail(L"cannot create the scratch keys", 0);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine);
    RegOverridePredefKey(HKEY_CURRENT_USER, user);
    const HRESULT registered = registerServer();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);

    std::vector<Row> rows;
    HKEY classes = nullptr;
    bool complete = false;
    if (RegOpenKeyExW(machine, L"Software\\Classes", 0, KEY_READ, &classes) == ERROR_SUCCESS) {
        complete = collect(classes, L"", rows);
        RegCloseKey(classes);
    }
    const bool userUntouched = isEmpty(user);
    RegCloseKey(machine);
    RegCloseKey(user);
    RegDeleteTreeW(HKEY_CURRENT_USER, scratchKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, scratchKey);
    if (FAILED(registered)) return fail(L"DllRegisterServer failed", registered);
    if (!complete || rows.empty()) return fail(L"nothing readable written below Classes", 0);
    if (!userUntouched) return fail(L"the registration wrote for the current user", 0);

    const std::wstring fileReference = std::wstring(L"[#") + argv[3] + L"]";
    const std::wstring folderReference = std::wstring(L"[") + argv[4] + L"]";
    FILE* out = _wfopen(argv[2], L"wb");
    if (out == nullptr) return fail(L"cannot write the output", 0);
    for (const Row& row : rows) {
        // The file first: its path contains the folder. A folder reference ends in a backslash.
        std::wstring value = replaceAll(row.value, path, fileReference);
        value = replaceAll(value, folder + L"\\", folderReference);
        value = replaceAll(value, folder, folderReference);
        std::fprintf(out, "%s\t%s\t%s\n", utf8(row.key).c_str(), utf8(row.name).c_str(),
                     utf8(value).c_str());
    }
    return std::fclose(out) == 0 ? 0 : fail(L"cannot write the output", 0);
}
