// Bad input never crashes the control, failures reach the caller the way a VB host reports
// them, and the module can unload once everything is released.
#include <array>
#include <functional>

#include "client.h"
#include "recording_dispatch.h"

namespace client {
namespace {

VARIANT text(const wchar_t* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(value);
    return v;
}

VARIANT integer(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT object(IDispatch* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = value;
    return v;
}

// By-value drawing arguments, as a script passes literals; pObject and pCode as given.
std::vector<VARIANT> byValue(VARIANT surface, const wchar_t* code, const wchar_t* ratio = L"3:1",
                             double x = 0) {
    VARIANT position;
    VariantInit(&position);
    position.vt = VT_R8;
    position.dblVal = x;
    return {surface,      position,    integer(0), text(code),     integer(15),
            integer(100), integer(1),  integer(0), text(L"Arial"), integer(0),
            integer(0),   text(ratio), integer(0)};
}

void clear(std::vector<VARIANT>& arguments) {
    for (auto& argument : arguments)
        if (!(argument.vt & VT_BYREF) && argument.vt != VT_DISPATCH) VariantClear(&argument);
}

struct Outcome {
    HRESULT status;
    VARIANT result;
    EXCEPINFO exception;
    UINT argumentError;
};

Outcome call(IDispatch* control, const wchar_t* method, std::vector<VARIANT> arguments) {
    Outcome outcome{};
    VariantInit(&outcome.result);
    outcome.argumentError = ~0u;
    outcome.status = invokeByName(control, method, DISPATCH_METHOD, arguments, &outcome.result,
                                  &outcome.exception, &outcome.argumentError);
    clear(arguments);
    return outcome;
}

std::int32_t runtimeNumber(const Outcome& outcome) {
    if (outcome.status != DISP_E_EXCEPTION) return -1;
    return HRESULT_CODE(outcome.exception.scode);
}

short resultOf(const Outcome& outcome) {
    return outcome.status == S_OK && outcome.result.vt == VT_I2 ? outcome.result.iVal : -1;
}

void checkDispatchFailures(IDispatch* control) {
    RecordingDispatch surface;

    struct Row {
        const char* name;
        std::function<Outcome()> run;
        HRESULT status;
        std::int32_t number;  // run-time number in EXCEPINFO, or the drawing's result
    };
    const Row rows[] = {
        {"too few arguments",
         [&] {
             std::vector<VARIANT> few = {object(&surface), integer(0)};
             return call(control, L"BarCODE39", few);
         },
         DISP_E_BADPARAMCOUNT, 0},
        {"pX as a text that is no number",
         [&] {
             auto arguments = byValue(object(&surface), L"A");
             arguments[1] = text(L"left");
             return call(control, L"BarCODE39", arguments);
         },
         DISP_E_TYPEMISMATCH, 0},
        {"pObject as a number",
         [&] { return call(control, L"BarCODE39", byValue(integer(5), L"A")); },
         DISP_E_TYPEMISMATCH, 0},
        {"pWidth out of the 16-bit range",
         [&] {
             auto arguments = byValue(object(&surface), L"A");
             arguments[4] = integer(70000);
             return call(control, L"BarCODE39", arguments);
         },
         DISP_E_OVERFLOW, 0},
        {"ratio without a colon fails towards the caller",
         [&] { return call(control, L"BarCODE39", byValue(object(&surface), L"A", L"3")); },
         DISP_E_EXCEPTION, 5},
        {"EAN-13 pX outside 16 bits fails towards the caller",
         [&] { return call(control, L"BarEAN13", byValue(object(&surface), L"1", L"", 32767.5)); },
         DISP_E_EXCEPTION, 6},
        {"Code 39 pX outside 16 bits is the result 6",
         [&] {
             return call(control, L"BarCODE39", byValue(object(&surface), L"A", L"3:1", 32767.5));
         },
         S_OK, 6},
        {"Nothing as the surface is the result 91",
         [&] { return call(control, L"BarCODE39", byValue(object(nullptr), L"A")); }, S_OK, 91},
        {"an empty pObject is a type mismatch",
         [&] {
             VARIANT empty;
             VariantInit(&empty);
             return call(control, L"BarCODE39", byValue(empty, L"A"));
         },
         DISP_E_TYPEMISMATCH, 0},
    };
    for (const Row& row : rows) {
        const Outcome outcome = row.run();
        check(outcome.status == row.status,
              std::string(row.name) + ": status " + hex(outcome.status));
        if (row.status == DISP_E_EXCEPTION)
            check(runtimeNumber(outcome) == row.number,
                  std::string(row.name) + ": number " + std::to_string(runtimeNumber(outcome)));
        if (row.status == S_OK)
            check(resultOf(outcome) == row.number,
                  std::string(row.name) + ": result " + std::to_string(resultOf(outcome)));
        SysFreeString(outcome.exception.bstrSource);
        SysFreeString(outcome.exception.bstrDescription);
    }
    check(surface.references() == 1, "the surface is released after every call");

    DISPPARAMS none{nullptr, nullptr, 13, 0};
    DISPID id = 0x60030009;
    check(control->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr) ==
              E_INVALIDARG,
          "thirteen arguments announced, none given");
    check(control->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr) ==
              E_INVALIDARG,
          "no DISPPARAMS");
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"BarQR")};
    check(control->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id) == DISP_E_UNKNOWNNAME,
          "an unknown name");
}

void checkSurfaceFailures(IDispatch* control) {
    // Members a surface lacks or that raise an error stop the drawing with that number; the
    // font and colours set before stay set.
    struct Row {
        const char* name;
        const wchar_t* member;
        bool lacking;
        std::int32_t raised;
        int call;
        short expected;
        int tracedLines;
    };
    const Row rows[] = {
        {"lacking Line", L"Line", true, 0, 1, 438, 4},
        {"lacking FontBold", L"FontBold", true, 0, 1, 438, 2},
        {"Line raising 1004 on its third box", L"Line", false, 1004, 3, 1004, 6},
        {"Print raising 380", L"Print", false, 380, 1, 380, -1},
    };
    for (const Row& row : rows) {
        RecordingDispatch surface;
        if (row.lacking)
            surface.lack(row.member);
        else
            surface.failAt(row.member, row.raised, row.call);
        const Outcome outcome = call(control, L"BarCODE39", byValue(object(&surface), L"AB"));
        check(resultOf(outcome) == row.expected,
              std::string(row.name) + ": result " + std::to_string(resultOf(outcome)));
        int lines = 0;
        for (char c : surface.trace()) lines += c == '\n';
        if (row.tracedLines >= 0)
            check(lines == row.tracedLines,
                  std::string(row.name) + ": calls before it " + std::to_string(lines));
    }

    // An error without a number is an automation error whose HRESULT does not fit the 16-bit
    // result: the call fails with an overflow instead of passing for a success.
    RecordingDispatch silent;
    silent.failAt(L"Line", 0);
    const Outcome unnumbered = call(control, L"BarCODE39", byValue(object(&silent), L"AB"));
    check(runtimeNumber(unnumbered) == 6,
          "an error without a number: status " + hex(unnumbered.status));

    // One lookup per member per call, however many boxes the symbol has.
    RecordingDispatch counted;
    const Outcome outcome = call(control, L"BarCODE39", byValue(object(&counted), L"ABCDEF"));
    check(resultOf(outcome) == 0, "a whole symbol draws");
    check(counted.lookups() <= 10,
          "members looked up once per call: " + std::to_string(counted.lookups()));
}

void checkScriptStyleArguments(IDispatch* control) {
    // A script passes its variables as references to variants: pCode comes back normalised in
    // the caller's variant, whatever it held before.
    RecordingDispatch surface;
    std::array<VARIANT, 13> variables;
    auto plain = byValue(object(&surface), L"CODE39");
    for (std::size_t i = 0; i < plain.size(); ++i) variables[i] = plain[i];
    variables[12].vt = VT_BOOL;
    variables[12].boolVal = VARIANT_TRUE;
    std::vector<VARIANT> references;
    for (auto& variable : variables) {
        VARIANT reference;
        VariantInit(&reference);
        reference.vt = VT_VARIANT | VT_BYREF;
        reference.pvarVal = &variable;
        references.push_back(reference);
    }
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    const HRESULT status =
        invokeByName(control, L"BarCODE39", DISPATCH_METHOD, references, &result, &exception);
    check(status == S_OK && result.vt == VT_I2 && result.iVal == 0, "script-style call draws");
    check(variables[3].vt == VT_BSTR && toUtf8(variables[3].bstrVal) == "CODE39W",
          "pCode written back into the caller's variant: " + toUtf8(variables[3].bstrVal));
    for (std::size_t i = 1; i < variables.size(); ++i) VariantClear(&variables[i]);

    // A number in the variable is coerced and replaced by the text.
    VARIANT number = integer(123);
    auto arguments = byValue(object(&surface), L"");
    VariantClear(&arguments[3]);
    arguments[3].vt = VT_VARIANT | VT_BYREF;
    arguments[3].pvarVal = &number;
    arguments[12] = integer(-1);
    const Outcome outcome = call(control, L"BarCODE39", arguments);
    check(resultOf(outcome) == 0, "numeric pCode draws");
    check(number.vt == VT_BSTR && toUtf8(number.bstrVal) == "1236",
          "numeric pCode comes back as text with its check character");
    VariantClear(&number);
}

VARIANT omitted() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// Invoke with the arguments in rgvarg order (named first, as `named` lists their DISPIDs, then
// the positional ones last to first), as a host builds DISPPARAMS itself.
Outcome callRaw(IDispatch* control, DISPID member, std::vector<VARIANT> passed,
                std::vector<DISPID> named) {
    Outcome outcome{};
    VariantInit(&outcome.result);
    outcome.argumentError = ~0u;
    DISPPARAMS parameters{passed.data(), named.data(), static_cast<UINT>(passed.size()),
                          static_cast<UINT>(named.size())};
    outcome.status =
        control->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                        &outcome.result, &outcome.exception, &outcome.argumentError);
    clear(passed);
    return outcome;
}

void checkNamedArguments(IDispatch* control) {
    RecordingDispatch surface;
    constexpr DISPID barCODE39 = 0x60030009;
    // The drawing arguments (pObject 0 ... pChk 12) passed as rgvarg lists them: those named in
    // `named` first, in that order, then the first `positional` last to first.
    auto arguments = [&](std::size_t positional, const std::vector<DISPID>& named) {
        std::vector<VARIANT> all = byValue(object(&surface), L"AB");
        std::vector<VARIANT> passed;
        for (DISPID id : named) {
            if (id >= 0 && id < 13) {
                VARIANT copy;
                VariantInit(&copy);
                VariantCopy(&copy, &all[static_cast<std::size_t>(id)]);
                passed.push_back(copy);
            } else {
                passed.push_back(integer(0));
            }
        }
        for (std::size_t i = positional; i-- > 0;) {
            VARIANT copy;
            VariantInit(&copy);
            VariantCopy(&copy, &all[i]);
            passed.push_back(copy);
        }
        clear(all);
        return passed;
    };
    auto range = [](DISPID from, DISPID to) {
        std::vector<DISPID> ids;
        for (DISPID id = from; id < to; ++id) ids.push_back(id);
        return ids;
    };
    struct Row {
        const char* name;
        std::size_t positional;
        std::vector<DISPID> named;
        HRESULT status;
        UINT argumentError;  // ~0u: not set
    };
    std::vector<DISPID> pXTwice = range(0, 12);
    pXTwice[11] = 1;
    const Row rows[] = {
        {"all thirteen named backwards", 0, {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, S_OK, ~0u},
        {"a DISPID that names no parameter", 12, {13}, DISP_E_PARAMNOTFOUND, 0},
        {"DISPID_PROPERTYPUT on a method", 12, {DISPID_PROPERTYPUT}, DISP_E_PARAMNOTFOUND, 0},
        {"pCode by position and by name", 12, {3}, DISP_E_PARAMNOTFOUND, 0},
        {"pX named twice", 0, pXTwice, DISP_E_PARAMNOTFOUND, 11},
        {"fourteen arguments", 13, {3}, DISP_E_BADPARAMCOUNT, ~0u},
        {"pChk missing", 0, range(0, 12), DISP_E_PARAMNOTOPTIONAL, ~0u},
        {"pObject missing", 5, range(6, 13), DISP_E_PARAMNOTOPTIONAL, ~0u},
    };
    for (const Row& row : rows) {
        const Outcome outcome =
            callRaw(control, barCODE39, arguments(row.positional, row.named), row.named);
        check(outcome.status == row.status,
              std::string(row.name) + ": status " + hex(outcome.status));
        check(outcome.argumentError == row.argumentError,
              std::string(row.name) + ": puArgErr " + std::to_string(outcome.argumentError));
    }

    // An argument left out between commas is not optional; a named argument that does not
    // coerce is reported by its place in rgvarg.
    auto passed = arguments(13, {});
    VariantClear(&passed[12 - 4]);
    passed[12 - 4] = omitted();
    Outcome outcome = callRaw(control, barCODE39, passed, {});
    check(outcome.status == DISP_E_PARAMNOTOPTIONAL && outcome.argumentError == 8,
          "pWidth left out: " + hex(outcome.status));
    passed = arguments(0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    VariantClear(&passed[4]);
    passed[4] = integer(70000);
    outcome = callRaw(control, barCODE39, passed, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    check(outcome.status == DISP_E_OVERFLOW && outcome.argumentError == 4,
          "named pWidth of 70000: " + hex(outcome.status) + ", puArgErr " +
              std::to_string(outcome.argumentError));

    // Names the method does not have.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"BarCODE39"), const_cast<LPOLESTR>(L"PCODE"),
                        const_cast<LPOLESTR>(L"pColour")};
    DISPID ids[3] = {};
    check(control->GetIDsOfNames(IID_NULL, names, 3, 0, ids) == DISP_E_UNKNOWNNAME &&
              ids[0] == barCODE39 && ids[1] == 3 && ids[2] == DISPID_UNKNOWN,
          "GetIDsOfNames of pCode and an unknown parameter");
}

void checkBarColors(IDispatch* control) {
    // Each bar's "Line" gets the caller's pLineColor variable by reference: what the drawing
    // object writes into it reaches the caller and every later bar.
    RecordingDispatch surface;
    LONG lineColor = 0;
    auto arguments = byValue(object(&surface), L"AB");
    arguments[10] = VARIANT{};
    arguments[10].vt = VT_I4 | VT_BYREF;
    arguments[10].plVal = &lineColor;
    surface.recolourFirstBar(0x123456);
    Outcome outcome = call(control, L"BarCODE39", arguments);
    check(resultOf(outcome) == 0, "recoloured bars draw");
    check(surface.barColorVariable() == &lineColor, "a bar's colour is the caller's variable");
    check(lineColor == 0x123456, "the caller's pLineColor holds what Line wrote");
    const int bars = surface.barsByReference();
    std::size_t recoloured = 0;
    for (std::size_t at = 0; (at = surface.trace().find("\t1193046\n", at)) != std::string::npos;
         ++at)
        ++recoloured;
    check(bars > 1 && recoloured == static_cast<std::size_t>(bars - 1),
          "the bars after the first in the new colour: " + std::to_string(recoloured) + " of " +
              std::to_string(bars));

    // White bars still go by reference, white spaces by value.
    RecordingDispatch white;
    auto whiteArguments = byValue(object(&white), L"AB");
    whiteArguments[10] = integer(0x00FFFFFF);
    outcome = call(control, L"BarCODE39", whiteArguments);
    check(resultOf(outcome) == 0 && white.barsByReference() == bars,
          "white bars by reference: " + std::to_string(white.barsByReference()));

    // A script's variant variable holding a Long is handed on itself.
    RecordingDispatch scripted;
    VARIANT variable = integer(255);
    auto scriptArguments = byValue(object(&scripted), L"AB");
    scriptArguments[10] = VARIANT{};
    scriptArguments[10].vt = VT_VARIANT | VT_BYREF;
    scriptArguments[10].pvarVal = &variable;
    outcome = call(control, L"BarCODE39", scriptArguments);
    check(resultOf(outcome) == 0 && scripted.barColorVariable() == &variable.lVal,
          "a script's Long variable handed on by reference");

    // The vtable road hands on the caller's variable too.
    _Quillet* dual = nullptr;
    control->QueryInterface(IID__Quillet, reinterpret_cast<void**>(&dual));
    if (dual == nullptr) return;
    RecordingDispatch early;
    IDispatch* earlyObject = &early;
    float x = 0, y = 0;
    BSTR code = SysAllocString(L"AB"), font = SysAllocString(L"Arial"),
         ratio = SysAllocString(L"3:1");
    short width = 15, height = 100, text = 1, result = -1;
    VARIANT_BOOL bold = VARIANT_FALSE, chk = VARIANT_FALSE;
    LONG fore = 0;
    dual->BarCODE39(&earlyObject, &x, &y, &code, &width, &height, &text, &bold, &font, &fore,
                    &lineColor, &ratio, &chk, &result);
    check(result == 0 && early.barColorVariable() == &lineColor,
          "vtable: a bar's colour is the caller's variable");
    SysFreeString(code);
    SysFreeString(font);
    SysFreeString(ratio);
    dual->Release();
}

void checkSupBarType(IDispatch* control) {
    VARIANT value;
    VariantInit(&value);
    std::vector<VARIANT> none;
    check(
        invokeByName(control, L"SupBarType", DISPATCH_PROPERTYGET, none, &value, nullptr) == S_OK &&
            value.vt == VT_I4 && value.lVal == 0,
        "a new instance reports SupBarType 0");
    struct Row {
        VARIANT put;
        HRESULT status;
        std::int32_t number;
        LONG readBack;
    };
    VARIANT big;
    VariantInit(&big);
    big.vt = VT_R8;
    big.dblVal = 1e12;
    const Row rows[] = {
        {integer(99), S_OK, 0, 99},
        {integer(-5), S_OK, 0, -5},
        {integer(40000), DISP_E_EXCEPTION, 6, -5},
        {big, DISP_E_EXCEPTION, 6, -5},
        {text(L"Code 39"), DISP_E_TYPEMISMATCH, 0, -5},
    };
    for (const Row& row : rows) {
        std::vector<VARIANT> arguments = {row.put};
        EXCEPINFO exception{};
        const HRESULT status = invokeByName(control, L"SupBarType", DISPATCH_PROPERTYPUT, arguments,
                                            nullptr, &exception);
        check(status == row.status, "SupBarType put: status " + hex(status));
        if (status == DISP_E_EXCEPTION)
            check(HRESULT_CODE(exception.scode) == row.number, "SupBarType put: number");
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        clear(arguments);
        VariantInit(&value);
        invokeByName(control, L"SupBarType", DISPATCH_PROPERTYGET, none, &value, nullptr);
        check(value.lVal == row.readBack, "SupBarType read back " + std::to_string(value.lVal));
    }

    // The property has no put by reference.
    std::vector<VARIANT> seven = {integer(7)};
    check(invokeByName(control, L"SupBarType", DISPATCH_PROPERTYPUTREF, seven, nullptr, nullptr) ==
              DISP_E_MEMBERNOTFOUND,
          "SupBarType put by reference is no member");
    VariantInit(&value);
    invokeByName(control, L"SupBarType", DISPATCH_PROPERTYGET, none, &value, nullptr);
    check(value.lVal == -5, "SupBarType unchanged by a put by reference");
}

void checkVtable(IDispatch* control) {
    _Quillet* dual = nullptr;
    check(control->QueryInterface(IID__Quillet, reinterpret_cast<void**>(&dual)) == S_OK,
          "the dual interface");
    if (dual == nullptr) return;
    RecordingDispatch surface;
    IDispatch* object = &surface;
    float x = 0, y = 0;
    BSTR code = SysAllocString(L"ABC");
    short width = 15, height = 100, text = 1, result = -1;
    VARIANT_BOOL bold = VARIANT_FALSE, chk = VARIANT_TRUE;
    BSTR font = SysAllocString(L"Arial");
    LONG fore = 0, line = 0;
    BSTR ratio = SysAllocString(L"3:1");
    check(dual->BarCODE39(&object, &x, &y, &code, &width, &height, &text, &bold, &font, &fore,
                          &line, &ratio, &chk, &result) == S_OK &&
              result == 0,
          "vtable BarCODE39 draws");
    check(toUtf8(code) == "ABCX", "vtable pCode written back: " + toUtf8(code));
    check(dual->BarCODE39(&object, &x, &y, nullptr, &width, &height, &text, &bold, &font, &fore,
                          &line, &ratio, &chk, &result) == E_POINTER,
          "vtable null pCode");
    SysFreeString(ratio);
    ratio = SysAllocString(L"3");
    const HRESULT failed = dual->BarCODE39(&object, &x, &y, &code, &width, &height, &text, &bold,
                                           &font, &fore, &line, &ratio, &chk, &result);
    check(failed == static_cast<HRESULT>(0x800A0005), "vtable ratio without colon: " + hex(failed));
    IErrorInfo* info = nullptr;
    check(GetErrorInfo(0, &info) == S_OK && info != nullptr, "IErrorInfo set");
    if (info != nullptr) info->Release();
    ::tBarcodeType type = static_cast<::tBarcodeType>(70000);
    check(dual->put_SupBarType(&type) == static_cast<HRESULT>(0x800A0006),
          "vtable SupBarType overflow");
    check(dual->put_SupBarType(nullptr) == E_POINTER, "vtable null SupBarType");
    SysFreeString(code);
    SysFreeString(font);
    SysFreeString(ratio);
    dual->Release();
}

void checkUnloading() {
    HMODULE module = GetModuleHandleW(L"quillet.dll");
    check(module != nullptr, "quillet.dll loaded");
    if (module == nullptr) return;
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto canUnload = reinterpret_cast<CanUnload>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    check(canUnload != nullptr, "DllCanUnloadNow exported");
    if (canUnload == nullptr) return;
    check(canUnload() == S_OK, "unloadable once every object is released");

    IClassFactory* factory = nullptr;
    check(CoGetClassObject(CLSID_Quillet, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                           reinterpret_cast<void**>(&factory)) == S_OK,
          "class factory");
    if (factory == nullptr) return;
    factory->LockServer(TRUE);
    IUnknown* instance = nullptr;
    factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&instance));
    IUnknown* aggregated = nullptr;
    check(factory->CreateInstance(instance, IID_IUnknown, reinterpret_cast<void**>(&aggregated)) ==
              CLASS_E_NOAGGREGATION,
          "no aggregation");
    factory->Release();
    check(canUnload() == S_FALSE, "locked and holding an object");
    factory = nullptr;
    CoGetClassObject(CLSID_Quillet, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                     reinterpret_cast<void**>(&factory));
    factory->LockServer(FALSE);
    factory->Release();
    check(canUnload() == S_FALSE, "still holding an object");
    if (instance != nullptr) instance->Release();
    check(canUnload() == S_OK, "unloadable again");
}

}  // namespace

void checkRobustness() {
    IDispatch* control = createControl();
    check(control != nullptr, "control created by ProgID");
    if (control == nullptr) return;
    checkDispatchFailures(control);
    checkSurfaceFailures(control);
    checkScriptStyleArguments(control);
    checkNamedArguments(control);
    checkBarColors(control);
    checkSupBarType(control);
    checkVtable(control);
    control->Release();
    checkUnloading();
}

}  // namespace client
