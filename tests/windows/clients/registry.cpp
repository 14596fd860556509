// What regsvr32 leaves behind, in this process's own registry view (32-bit or 64-bit), and
// whether the registered control draws.
#include <cstdio>

#include "client.h"
#include "recording_dispatch.h"

namespace client {
namespace {

std::wstring guidText(REFGUID guid) {
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

bool keyExists(const std::wstring& path, HKEY root = HKEY_CLASSES_ROOT) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring defaultValue(const std::wstring& path, HKEY root = HKEY_CLASSES_ROOT) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

// One EAN-13 symbol through late binding: the result, and the number of boxes painted.
void drawOnce(IDispatch* control, const std::string& how) {
    RecordingDispatch surface;
    IDispatch* object = &surface;
    float x = 0, y = 0;
    BSTR code = SysAllocString(L"4006381333931"), font = SysAllocString(L"Arial"),
         ratio = SysAllocString(L"");
    short width = 15, height = 1200, text = 1;
    VARIANT_BOOL bold = VARIANT_FALSE, chk = VARIANT_FALSE;
    LONG fore = 0, line = 0;
    std::vector<VARIANT> arguments = {byReference(VT_DISPATCH, &object),
                                      byReference(VT_R4, &x),
                                      byReference(VT_R4, &y),
                                      byReference(VT_BSTR, &code),
                                      byReference(VT_I2, &width),
                                      byReference(VT_I2, &height),
                                      byReference(VT_I2, &text),
                                      byReference(VT_BOOL, &bold),
                                      byReference(VT_BSTR, &font),
                                      byReference(VT_I4, &fore),
                                      byReference(VT_I4, &line),
                                      byReference(VT_BSTR, &ratio),
                                      byReference(VT_BOOL, &chk)};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    const HRESULT status =
        invokeByName(control, L"BarEAN13", DISPATCH_METHOD, arguments, &result, &exception);
    std::size_t boxes = 0;
    for (std::size_t at = 0; (at = surface.trace().find("Line\t", at)) != std::string::npos; ++at)
        ++boxes;
    check(status == S_OK && result.vt == VT_I2 && result.iVal == 0 && boxes == 95,
          how + ": EAN-13 drawn with " + std::to_string(boxes) + " boxes, status " + hex(status));
    SysFreeString(code);
    SysFreeString(font);
    SysFreeString(ratio);
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

    // The class is really creatable through what was registered, and draws.
    IDispatch* control = createControl();
    check(control != nullptr, "created by ProgID");
    if (control == nullptr) return;
    drawOnce(control, "created by ProgID");
    control->Release();
}

void checkUserRegistration() {
    // Everything under the current user's classes, in this bitness's view, nothing for all users.
    const std::wstring clsid = L"CLSID\\" + guidText(CLSID_Quillet);
    const std::wstring user = L"Software\\Classes\\";
    const std::wstring keys[] = {
        clsid + L"\\InprocServer32",
        L"QUILLETPRO.Quillet\\CLSID",
        L"Interface\\" + guidText(IID__Quillet) + L"\\TypeLib",
        L"Interface\\" + guidText(DIID___Quillet) + L"\\TypeLib",
        L"TypeLib\\" + guidText(LIBID_QUILLETPRO) + L"\\1.0\\409\\" +
            (sizeof(void*) == 8 ? L"win64" : L"win32"),
    };
    for (const auto& key : keys) {
        check(keyExists(user + key, HKEY_CURRENT_USER),
              "for the user: " + toUtf8(key.data(), key.size()));
        check(!keyExists(user + key, HKEY_LOCAL_MACHINE),
              "not for all users: " + toUtf8(key.data(), key.size()));
    }
    check(defaultValue(user + L"QUILLETPRO.Quillet\\CLSID", HKEY_CURRENT_USER) ==
              guidText(CLSID_Quillet),
          "the user's ProgID names the class");

    // The road Windows' HKEY_CLASSES_ROOT takes, which lays the user's classes over the
    // machine's: ProgID, CLSID, InprocServer32, the server's class factory.
    const std::wstring server = defaultValue(user + clsid + L"\\InprocServer32", HKEY_CURRENT_USER);
    HMODULE module = LoadLibraryW(server.c_str());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = module != nullptr
                              ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(
                                    GetProcAddress(module, "DllGetClassObject")))
                              : nullptr;
    IClassFactory* factory = nullptr;
    IDispatch* control = nullptr;
    if (getClassObject != nullptr &&
        SUCCEEDED(
            getClassObject(CLSID_Quillet, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control));
        factory->Release();
    }
    check(control != nullptr, "created from the user's InprocServer32");
    if (control != nullptr) {
        drawOnce(control, "the user's server");
        control->Release();
    }

    // COM itself, where the runtime reads the user's classes (Windows does; Wine 8 reads only
    // the machine's and answers CO_E_CLASSSTRING).
    CLSID found{};
    const HRESULT lookup = CLSIDFromProgID(L"QUILLETPRO.Quillet", &found);
    if (lookup == CO_E_CLASSSTRING) {
        std::printf("COM runtime without per-user classes: CLSIDFromProgID answers %s\n",
                    hex(lookup).c_str());
        return;
    }
    std::printf("COM runtime reads the user's classes\n");
    control = createControl();
    check(control != nullptr, "the user's class created by ProgID");
    if (control == nullptr) return;
    drawOnce(control, "the user's class by ProgID");
    control->Release();
}

}  // namespace client

namespace client {

void checkRegistrationFree() {
    // Nothing in the registry: the class comes from the application's manifest and the
    // assembly manifest beside quillet.dll.
    const std::wstring clsid = L"CLSID\\" + guidText(CLSID_Quillet);
    check(!keyExists(clsid), "the class is not registered");
    check(!keyExists(L"QUILLETPRO.Quillet"), "the ProgID is not registered");
    CLSID found{};
    const HRESULT lookup = CLSIDFromProgID(L"QUILLETPRO.Quillet", &found);
    // The activation context may answer with an alias of the class's CLSID, which it then
    // creates the class for.
    check(lookup == S_OK, "the manifest's ProgID found: " + hex(lookup));
    IDispatch* control = createControl();
    check(control != nullptr, "created by ProgID without registration");
    if (control == nullptr) return;
    IPersist* persist = nullptr;
    CLSID created{};
    if (SUCCEEDED(control->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)))) {
        persist->GetClassID(&created);
        persist->Release();
    }
    check(IsEqualCLSID(created, CLSID_Quillet), "the object created is a Quillet control");
    drawOnce(control, "registration-free");
    ITypeInfo* info = nullptr;
    check(control->GetTypeInfo(0, 0, &info) == S_OK, "type information without registration");
    if (info != nullptr) info->Release();
    ITypeLib* library = nullptr;
    const HRESULT loaded = LoadRegTypeLib(LIBID_QUILLETPRO, 1, 0, 0x409, &library);
    check(loaded == S_OK, "the manifest's type library found by LoadRegTypeLib: " + hex(loaded));
    if (library != nullptr) library->Release();
    control->Release();
}

}  // namespace client
