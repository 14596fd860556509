// What regsvr32 leaves behind, in this process's own registry view (32-bit or 64-bit).
#include "client.h"

namespace client {
namespace {

std::wstring guidText(REFGUID guid) {
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

bool keyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring defaultValue(const std::wstring& path) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

}  // namespace

void checkRegistry(bool present) {
    const std::wstring clsid = L"CLSID\\" + guidText(CLSID_Quillet);
    const std::wstring keys[] = {
        clsid,
        clsid + L"\\InprocServer32",
        clsid + L"\\ProgID",
        clsid + L"\\Control",
        clsid + L"\\ToolboxBitmap32",
        clsid + L"\\TypeLib",
        L"QUILLETPRO.Quillet\\CLSID",
        L"Interface\\" + guidText(IID__Quillet),
        L"Interface\\" + guidText(DIID___Quillet),
        L"TypeLib\\" + guidText(LIBID_QUILLETPRO) + L"\\1.0",
    };
    for (const auto& key : keys)
        check(keyExists(key) == present,
              "key " + toUtf8(key.data(), key.size()) + (present ? " present" : " absent"));
    if (!present) return;

    check(defaultValue(clsid + L"\\ProgID") == L"QUILLETPRO.Quillet", "ProgID value");
    check(defaultValue(L"QUILLETPRO.Quillet\\CLSID") == guidText(CLSID_Quillet), "ProgID CLSID");
    check(defaultValue(clsid + L"\\TypeLib") == guidText(LIBID_QUILLETPRO), "class type library");
    const std::wstring server = defaultValue(clsid + L"\\InprocServer32");
    check(server.size() > 11 && _wcsicmp(server.c_str() + server.size() - 11, L"quillet.dll") == 0,
          "InprocServer32 names quillet.dll: " + toUtf8(server.data(), server.size()));
    const std::wstring bitmap = defaultValue(clsid + L"\\ToolboxBitmap32");
    check(bitmap.size() > 7 && bitmap.substr(bitmap.size() - 7) == L", 30000",
          "ToolboxBitmap32 is resource 30000: " + toUtf8(bitmap.data(), bitmap.size()));

    // The registered file carries the toolbox bitmap and marks itself as self-registering.
    HMODULE file = LoadLibraryExW(server.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    check(file != nullptr, "the registered file loads as data");
    if (file != nullptr) {
        HRSRC toolbox = FindResourceW(file, MAKEINTRESOURCEW(30000), MAKEINTRESOURCEW(2));
        const auto* header =
            toolbox
                ? static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(file, toolbox)))
                : nullptr;
        check(header != nullptr && header->biWidth == 16 && header->biHeight == 15 &&
                  header->biBitCount == 4,
              "toolbox bitmap 30000 is 16 x 15 in 16 colours");
        FreeLibrary(file);
    }
    DWORD ignored = 0;
    std::vector<char> version(GetFileVersionInfoSizeW(server.c_str(), &ignored));
    void* entry = nullptr;
    UINT length = 0;
    check(!version.empty() &&
              GetFileVersionInfoW(server.c_str(), 0, static_cast<DWORD>(version.size()),
                                  version.data()) &&
              VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\OLESelfRegister", &entry,
                             &length),
          "version resource has OLESelfRegister");

    // The class is really creatable through what was registered.
    IDispatch* control = createControl();
    check(control != nullptr, "created by ProgID");
    if (control != nullptr) control->Release();
}

}  // namespace client
