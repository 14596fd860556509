// Draws per second through the control's IDispatch, the way a late-binding host calls it: the
// method's DISPID looked up once per call, thirteen arguments by reference, onto a drawing object
// of the client's own that only counts. The control is loaded from quillet.dll beside this
// program, without registration.
#include <windows.h>

#include <oaidl.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "quillet_com.h"

namespace {

constexpr std::array<const wchar_t*, 10> memberNames = {
    L"FontName", L"ForeColor", L"FontBold",   L"FontSize", L"CurrentX",
    L"CurrentY", L"TextWidth", L"TextHeight", L"Line",     L"Print"};
constexpr DISPID lineMember = 9;
constexpr DISPID firstMeasure = 7;  // TextWidth and TextHeight answer a number

class CountingDispatch final : public IDispatch {
public:
    long lookups = 0;
    long invokes = 0;
    long boxes = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        ++lookups;
        for (DISPID id = 0; id < static_cast<DISPID>(memberNames.size()); ++id) {
            if (count == 1 && _wcsicmp(names[0], memberNames[id]) == 0) {
                ids[0] = id + 1;
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        ++invokes;
        if (id == lineMember) ++boxes;
        if (id >= firstMeasure && id < lineMember && result != nullptr) {
            VariantInit(result);
            result->vt = VT_R8;
            result->dblVal = 90;
        }
        return S_OK;
    }
};

struct Sample {
    const wchar_t* method;
    const wchar_t* code;
    bool check;
};

constexpr std::array<Sample, 3> samples = {{
    {L"BarEAN13", L"400638133393", false},
    {L"BarCODE128", L"BQuillet 128", true},
    {L"BarCODE39", L"CODE39 TEST", true},
}};

VARIANT byReference(VARTYPE type, void* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(type | VT_BYREF);
    v.byref = value;
    return v;
}

// Returns draws per second, or a negative value when a call fails.
double measure(IDispatch* control, const Sample& sample, int draws) {
    CountingDispatch surface;
    IDispatch* object = &surface;
    float x = 0, y = 0;
    short width = 15, height = 1200, text = 1;
    VARIANT_BOOL bold = VARIANT_FALSE, check = sample.check ? VARIANT_TRUE : VARIANT_FALSE;
    long foreColor = 0, lineColor = 0;
    BSTR code = SysAllocString(sample.code);
    BSTR font = SysAllocString(L"Arial");
    BSTR ratio = SysAllocString(L"3:1");
    // DISPPARAMS lists the arguments last to first.
    std::array<VARIANT, 13> arguments = {
        byReference(VT_BOOL, &check),     byReference(VT_BSTR, &ratio),
        byReference(VT_I4, &lineColor),   byReference(VT_I4, &foreColor),
        byReference(VT_BSTR, &font),      byReference(VT_BOOL, &bold),
        byReference(VT_I2, &text),        byReference(VT_I2, &height),
        byReference(VT_I2, &width),       byReference(VT_BSTR, &code),
        byReference(VT_R4, &y),           byReference(VT_R4, &x),
        byReference(VT_DISPATCH, &object)};
    DISPPARAMS parameters{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool failed = false;
    for (int i = 0; i < draws && !failed; ++i) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(sample.method);
        VARIANT result;
        VariantInit(&result);
        // The methods write pCode back (Code 39 appends its check character), so a host's
        // loop assigns its variable afresh for every label.
        SysReAllocString(&code, sample.code);
        failed = FAILED(control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) ||
                 FAILED(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                        &parameters, &result, nullptr, nullptr)) ||
                 result.vt != VT_I2 || result.iVal != 0;
    }
    QueryPerformanceCounter(&end);
    SysFreeString(code);
    SysFreeString(font);
    SysFreeString(ratio);
    if (failed) return -1;

    const double seconds =
        static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::wprintf(L"%-11ls %9.0f draws/s %8.2f us/draw %6.1f boxes/draw %7.1f surface calls/draw "
                 L"%5.2f surface lookups/draw\n",
                 sample.method, draws / seconds, seconds * 1e6 / draws,
                 static_cast<double>(surface.boxes) / draws,
                 static_cast<double>(surface.invokes) / draws,
                 static_cast<double>(surface.lookups) / draws);
    return draws / seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int draws = argc > 1 ? _wtoi(argv[1]) : 20000;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    HMODULE library = LoadLibraryW(L"quillet.dll");
    if (library == nullptr) {
        std::fwprintf(stderr, L"com_bench: quillet.dll not found\n");
        return 2;
    }
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    IDispatch* control = nullptr;
    if (getClassObject == nullptr ||
        FAILED(getClassObject(CLSID_Quillet, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_IDispatch,
                                       reinterpret_cast<void**>(&control)))) {
        std::fwprintf(stderr, L"com_bench: the control could not be created\n");
        return 2;
    }
    int status = 0;
    for (const Sample& sample : samples) {
        if (measure(control, sample, draws) < 0) {
            std::fwprintf(stderr, L"com_bench: %ls failed\n", sample.method);
            status = 1;
        }
    }
    control->Release();
    factory->Release();
    CoUninitialize();
    return status;
}
