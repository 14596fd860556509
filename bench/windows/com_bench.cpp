// Draws per second through the control's IDispatch, the way a late-binding host calls it: the
// method's DISPID looked up once per call, thirteen arguments by reference, onto a drawing object
// of the client's own that only counts. The control is loaded from quillet.dll beside this
// program, without registration.
//
// The floor: the calls one drawing makes on the drawing object (name lookups and Invokes with
// their arguments) are recorded once, then replayed onto the same counting object through its
// IDispatch. control/floor is how far a draw through the control is above that.
#include <oaidl.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

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
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
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

// Records every call made on it, answering as CountingDispatch does, and replays them.
class RecordingDispatch final : public IDispatch {
  public:
    ~RecordingDispatch() {
        for (auto& call : calls_)
            for (auto& value : call->values) VariantClear(&value);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        const bool known = iid == IID_IUnknown || iid == IID_IDispatch;
        *object = known ? this : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return answers_.GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        auto call = std::make_unique<Call>();
        call->lookup = true;
        for (UINT i = 0; i < count; ++i) call->names.emplace_back(names[i]);
        calls_.push_back(std::move(call));
        return answers_.GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        auto call = std::make_unique<Call>();
        call->id = id;
        call->flags = flags;
        call->wantsResult = result != nullptr;
        const UINT count = parameters ? parameters->cArgs : 0;
        call->values.resize(count);
        call->arguments.resize(count);
        for (UINT i = 0; i < count; ++i) {
            // The value itself is kept; an argument by reference points at that copy.
            const VARIANT& argument = parameters->rgvarg[i];
            VariantInit(&call->values[i]);
            VariantCopyInd(&call->values[i], const_cast<VARIANT*>(&argument));
            call->arguments[i] = argument;
            if (argument.vt & VT_BYREF) {
                call->arguments[i].byref = (argument.vt & VT_TYPEMASK) == VT_VARIANT
                                               ? static_cast<void*>(&call->values[i])
                                               : static_cast<void*>(&call->values[i].llVal);
            } else {
                call->arguments[i] = call->values[i];
            }
        }
        if (parameters && parameters->cNamedArgs > 0)
            call->named.assign(parameters->rgdispidNamedArgs,
                               parameters->rgdispidNamedArgs + parameters->cNamedArgs);
        calls_.push_back(std::move(call));
        return answers_.Invoke(id, iid, locale, flags, parameters, result, exception,
                               argumentError);
    }

    // Makes every recorded call again on target; false when one fails.
    bool replay(IDispatch* target) {
        bool ok = true;
        for (auto& call : calls_) {
            if (call->lookup) {
                std::vector<LPOLESTR> names;
                for (auto& name : call->names) names.push_back(name.data());
                std::vector<DISPID> ids(names.size());
                ok &= SUCCEEDED(target->GetIDsOfNames(IID_NULL, names.data(),
                                                      static_cast<UINT>(names.size()),
                                                      LOCALE_USER_DEFAULT, ids.data()));
                continue;
            }
            DISPPARAMS parameters{
                call->arguments.data(), call->named.empty() ? nullptr : call->named.data(),
                static_cast<UINT>(call->arguments.size()), static_cast<UINT>(call->named.size())};
            VARIANT result;
            VariantInit(&result);
            ok &= SUCCEEDED(target->Invoke(call->id, IID_NULL, LOCALE_USER_DEFAULT, call->flags,
                                           &parameters, call->wantsResult ? &result : nullptr,
                                           nullptr, nullptr));
            VariantClear(&result);
        }
        return ok;
    }

  private:
    struct Call {
        bool lookup = false;
        std::vector<std::wstring> names;
        DISPID id = 0;
        WORD flags = 0;
        bool wantsResult = false;
        std::vector<VARIANT> values;
        std::vector<VARIANT> arguments;
        std::vector<DISPID> named;
    };
    CountingDispatch answers_;
    std::vector<std::unique_ptr<Call>> calls_;
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

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER end, frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Prints draws per second through the control and on the floor; false when a call fails.
bool measure(IDispatch* control, const Sample& sample, int draws) {
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

    const auto draw = [&] {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(sample.method);
        VARIANT result;
        VariantInit(&result);
        // The methods write pCode back (Code 39 appends its check character), so a host's
        // loop assigns its variable afresh for every label.
        SysReAllocString(&code, sample.code);
        return SUCCEEDED(control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) &&
               SUCCEEDED(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                         &parameters, &result, nullptr, nullptr)) &&
               result.vt == VT_I2 && result.iVal == 0;
    };

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    bool ok = true;
    for (int i = 0; i < draws && ok; ++i) ok = draw();
    const double seconds = secondsSince(start);

    // One draw recorded, then its calls replayed onto a counting object of their own.
    RecordingDispatch recording;
    object = &recording;
    ok = ok && draw();
    CountingDispatch floorSurface;
    IDispatch* floorTarget = &floorSurface;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < draws && ok; ++i) ok = recording.replay(floorTarget);
    const double floorSeconds = secondsSince(start);

    SysFreeString(code);
    SysFreeString(font);
    SysFreeString(ratio);
    if (!ok) return false;

    std::wprintf(
        L"%-11ls %9.0f draws/s %8.2f us/draw | floor %9.0f draws/s %8.2f us/draw | "
        L"control/floor %5.2fx | %6.1f boxes/draw %7.1f surface calls/draw "
        L"%5.2f surface lookups/draw\n",
        sample.method, draws / seconds, seconds * 1e6 / draws, draws / floorSeconds,
        floorSeconds * 1e6 / draws, seconds / floorSeconds,
        static_cast<double>(surface.boxes) / draws, static_cast<double>(surface.invokes) / draws,
        static_cast<double>(surface.lookups) / draws);
    return true;
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
        FAILED(
            getClassObject(CLSID_Quillet, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(
            factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control)))) {
        std::fwprintf(stderr, L"com_bench: the control could not be created\n");
        return 2;
    }
    int status = 0;
    for (const Sample& sample : samples) {
        if (!measure(control, sample, draws)) {
            std::fwprintf(stderr, L"com_bench: %ls failed\n", sample.method);
            status = 1;
        }
    }
    control->Release();
    factory->Release();
    CoUninitialize();
    return status;
}
