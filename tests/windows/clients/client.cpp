#include "client.h"

#include <cstdio>
#include <cstring>

namespace client {
namespace {
int failureCount = 0;
}

void check(bool condition, const std::string& what) {
    if (!condition) {
        ++failureCount;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

int failures() {
    return failureCount;
}

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::string hex(HRESULT value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

IDispatch* createByProgId(const wchar_t* progId) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return nullptr;
    IDispatch* object = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(&object));
    return object;
}

VARIANT byReference(VARTYPE type, void* storage) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type | VT_BYREF;
    v.byref = storage;
    return v;
}

HRESULT invokeByName(IDispatch* object, const wchar_t* name, WORD flags,
                     std::vector<VARIANT>& arguments, VARIANT* result, EXCEPINFO* exception,
                     UINT* argumentError) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return found;
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        parameters.rgdispidNamedArgs = &named;
        parameters.cNamedArgs = 1;
    }
    UINT ignored = 0;
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result, exception,
                          argumentError ? argumentError : &ignored);
}

}  // namespace client
