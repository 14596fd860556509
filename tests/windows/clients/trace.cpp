// The late-binding client: each case is drawn as a VB host calls a method by name, with every
// argument by reference in its exact type, onto a recording drawing object. The output has the
// format of `quillet trace`, so that the test compares it line for line with the portable core.
// Each case is drawn twice more with named arguments, as VBA passes them: every one named in a
// shuffled order, and the first ones by position with the rest named; both must leave the same
// trace and the same pCode.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>

#include "client.h"
#include "recording_dispatch.h"

namespace client {
namespace {

const std::map<std::string, const wchar_t*> methodOf = {
    {"codabar", L"BarCODABAR"}, {"code_11", L"BarCODE11"},      {"code_128", L"BarCODE128"},
    {"code_25", L"BarCODE25"},  {"code_39", L"BarCODE39"},      {"code_39f", L"BarCODE39F"},
    {"code_93", L"BarCODE93"},  {"ean_13", L"BarEAN13"},        {"ean_8", L"BarEAN8"},
    {"isbn", L"BarISBN"},       {"code_msi", L"BarMSI"},        {"postnet", L"BarPOSTNET"},
    {"upc_a", L"BarUPCA"},      {"upc_a_plus", L"BarUPCAPlus"}, {"upc_e", L"BarUPCE"}};

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool truth(const std::string& text) {
    const std::string value = lower(text);
    return value == "1" || value == "-1" || value == "true" || value == "yes";
}

// The caller's variables, with the defaults of the quillet command.
struct Variables {
    IDispatch* object = nullptr;
    float x = 0, y = 0;
    BSTR code = nullptr;
    short width = 15, height = 1200, text = 1;
    VARIANT_BOOL bold = VARIANT_FALSE;
    BSTR font = SysAllocString(L"Arial");
    LONG fore = 0, line = 0;
    BSTR ratio = SysAllocString(L"3:1");
    VARIANT_BOOL chk = VARIANT_FALSE;
    ~Variables() {
        SysFreeString(code);
        SysFreeString(font);
        SysFreeString(ratio);
    }
};

void replace(BSTR& target, const std::string& text) {
    SysFreeString(target);
    const std::wstring wide = toUtf16(text);
    target = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

const wchar_t* const parameterNames[13] = {
    L"pObject", L"pX",    L"pY",         L"pCode",      L"pWidth", L"pHeight", L"pText",
    L"pBold",   L"pFont", L"pForeColor", L"pLineColor", L"pRatio", L"pChk"};

// How a case's arguments are passed: all by position, as VBA passes them by name (every one
// named, in a shuffled order), or the first ones by position and the rest by name.
enum class Passing { positional, named, mixed };

// Calls the method with the first `positional` arguments by position and the others by the
// names GetIDsOfNames gives for them, in the order `order` lists those parameters.
HRESULT invokeNamed(IDispatch* control, const wchar_t* method, std::vector<VARIANT>& arguments,
                    std::size_t positional, const std::vector<std::size_t>& order, VARIANT* result,
                    EXCEPINFO* exception) {
    std::vector<LPOLESTR> names = {const_cast<LPOLESTR>(method)};
    for (std::size_t parameter : order)
        names.push_back(const_cast<LPOLESTR>(parameterNames[parameter]));
    std::vector<DISPID> ids(names.size());
    const HRESULT found = control->GetIDsOfNames(
        IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT, ids.data());
    if (FAILED(found)) return found;
    // rgvarg: the named arguments in the order of rgdispidNamedArgs, then the positional ones
    // last to first.
    std::vector<VARIANT> passed;
    for (std::size_t parameter : order) passed.push_back(arguments[parameter]);
    for (std::size_t i = positional; i-- > 0;) passed.push_back(arguments[i]);
    DISPPARAMS parameters{passed.data(), ids.data() + 1, static_cast<UINT>(passed.size()),
                          static_cast<UINT>(order.size())};
    UINT argumentError = 0;
    return control->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                           result, exception, &argumentError);
}

std::string drawCase(IDispatch* control, const std::vector<std::string>& fields, Passing passing,
                     unsigned caseNumber) {
    const auto method = methodOf.find(lower(fields[0]));
    if (method == methodOf.end()) return "unknown symbology " + fields[0] + "\n";
    RecordingDispatch surface;
    Variables v;
    v.object = &surface;
    replace(v.code, fields[1]);
    for (std::size_t i = 2; i < fields.size(); ++i) {
        const std::size_t equals = fields[i].find('=');
        const std::string name = fields[i].substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : fields[i].substr(equals + 1);
        if (name == "--x")
            v.x = std::stof(value);
        else if (name == "--y")
            v.y = std::stof(value);
        else if (name == "--width")
            v.width = static_cast<short>(std::stoi(value));
        else if (name == "--height")
            v.height = static_cast<short>(std::stoi(value));
        else if (name == "--text")
            v.text = static_cast<short>(std::stoi(value));
        else if (name == "--bold")
            v.bold = truth(value) ? VARIANT_TRUE : VARIANT_FALSE;
        else if (name == "--font")
            replace(v.font, value);
        else if (name == "--fore")
            v.fore = static_cast<LONG>(std::stoll(value, nullptr, 0));
        else if (name == "--line")
            v.line = static_cast<LONG>(std::stoll(value, nullptr, 0));
        else if (name == "--ratio")
            replace(v.ratio, value);
        else if (name == "--chk")
            v.chk = truth(value) ? VARIANT_TRUE : VARIANT_FALSE;
        else
            return "unknown option " + name + "\n";
    }
    std::vector<VARIANT> arguments = {byReference(VT_DISPATCH, &v.object),
                                      byReference(VT_R4, &v.x),
                                      byReference(VT_R4, &v.y),
                                      byReference(VT_BSTR, &v.code),
                                      byReference(VT_I2, &v.width),
                                      byReference(VT_I2, &v.height),
                                      byReference(VT_I2, &v.text),
                                      byReference(VT_BOOL, &v.bold),
                                      byReference(VT_BSTR, &v.font),
                                      byReference(VT_I4, &v.fore),
                                      byReference(VT_I4, &v.line),
                                      byReference(VT_BSTR, &v.ratio),
                                      byReference(VT_BOOL, &v.chk)};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    HRESULT status = S_OK;
    if (passing == Passing::positional) {
        status =
            invokeByName(control, method->second, DISPATCH_METHOD, arguments, &result, &exception);
    } else {
        // The same shuffle on every run: seeded with the case's number.
        const std::size_t positional = passing == Passing::named ? 0 : 1 + caseNumber % 12;
        std::vector<std::size_t> order;
        for (std::size_t i = positional; i < arguments.size(); ++i) order.push_back(i);
        std::shuffle(order.begin(), order.end(), std::mt19937(caseNumber));
        status =
            invokeNamed(control, method->second, arguments, positional, order, &result, &exception);
    }
    std::string out = surface.trace();
    if (status == S_OK && result.vt == VT_I2) {
        out += "Result\t" + std::to_string(result.iVal) + "\n";
    } else if (status == DISP_E_EXCEPTION &&
               HRESULT_FACILITY(exception.scode) == FACILITY_CONTROL) {
        out += "Error\t" + std::to_string(HRESULT_CODE(exception.scode)) + "\n";
    } else {
        out += "Failed\t" + hex(status) + "\n";
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    out += "pCode\t" + escape(toUtf8(v.code)) + "\n";
    if (surface.references() != 1) out += "surface left with extra references\n";
    return out;
}

}  // namespace

void traceCases(const char* casesFile) {
    std::ifstream cases(casesFile, std::ios::binary);
    check(cases.good(), std::string("cases file ") + casesFile);
    IDispatch* control = createControl();
    check(control != nullptr, "control created by ProgID");
    if (control == nullptr) return;
    std::string line;
    unsigned caseNumber = 0;
    while (std::getline(cases, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto fields = split(line);
        const std::string drawn = drawCase(control, fields, Passing::positional, ++caseNumber);
        // The same drawing with named arguments must leave the same trace and pCode.
        for (const Passing passing : {Passing::named, Passing::mixed}) {
            const std::string other = drawCase(control, fields, passing, caseNumber);
            check(other == drawn, std::string(passing == Passing::named ? "named" : "mixed") +
                                      " arguments draw as positional ones: " + line + "\n" + other);
        }
        const std::string out = "== " + line + "\n" + drawn;
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    control->Release();
}

}  // namespace client
