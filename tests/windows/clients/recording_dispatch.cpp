#include "recording_dispatch.h"

#include <array>
#include <charconv>

namespace client {
namespace {

constexpr std::array<const wchar_t*, 10> members = {
    L"FontName", L"ForeColor", L"FontBold",   L"FontSize", L"CurrentX",
    L"CurrentY", L"TextWidth", L"TextHeight", L"Line",     L"Print"};
enum Member : DISPID {
    FontName = 1,
    ForeColor,
    FontBold,
    FontSize,
    CurrentX,
    CurrentY,
    TextWidth,
    TextHeight,
    Line,
    Print
};

template <class Number>
std::string number(Number value) {
    if (value == 0) return "0";
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

// An argument as the trace writes it, or a marker that makes the comparison fail when the
// control sent another type than a VB host's object receives.
std::string shown(const VARIANT& value, VARTYPE expected) {
    if (value.vt != expected) return "<vt " + std::to_string(value.vt) + ">";
    switch (value.vt) {
        case VT_I2:
            return std::to_string(value.iVal);
        case VT_I2 | VT_BYREF:
            return std::to_string(*value.piVal);
        case VT_I4:
            return std::to_string(value.lVal);
        case VT_I4 | VT_BYREF:
            return std::to_string(*value.plVal);
        case VT_R4:
            return number(value.fltVal);
        case VT_R8:
            return number(value.dblVal);
        case VT_BOOL:
            return value.boolVal ? "True" : "False";
        case VT_BSTR:
            return escape(toUtf8(value.bstrVal));
        default:
            return "<vt " + std::to_string(value.vt) + ">";
    }
}

std::size_t characterCount(BSTR text) {
    std::size_t count = 0;
    for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i)
        if (text[i] < 0xDC00 || text[i] > 0xDFFF) ++count;
    return count;
}

}  // namespace

void RecordingDispatch::failAt(const wchar_t* member, std::int32_t number, int call) {
    for (std::size_t i = 0; i < members.size(); ++i)
        if (_wcsicmp(members[i], member) == 0) failingMember_ = static_cast<DISPID>(i + 1);
    failingNumber_ = number;
    callsUntilFailure_ = call;
}

HRESULT RecordingDispatch::QueryInterface(REFIID iid, void** object) {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        *object = this;
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT RecordingDispatch::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT RecordingDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    return E_NOTIMPL;
}

HRESULT RecordingDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ++lookups_;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (count != 1) return DISP_E_UNKNOWNNAME;
    if (!lacking_.empty() && _wcsicmp(names[0], lacking_.c_str()) == 0) return DISP_E_UNKNOWNNAME;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (_wcsicmp(members[i], names[0]) == 0) {
            ids[0] = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT RecordingDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                  VARIANT* result, EXCEPINFO* exception, UINT*) {
    if (id < FontName || id > Print) return DISP_E_MEMBERNOTFOUND;
    if (id == failingMember_ && callsUntilFailure_ > 0 && --callsUntilFailure_ == 0) {
        if (exception != nullptr) {
            *exception = EXCEPINFO{};
            exception->scode = static_cast<HRESULT>(0x800A0000u + failingNumber_);
            exception->bstrDescription = SysAllocString(L"raised by the surface");
        }
        return DISP_E_EXCEPTION;
    }
    const bool put = id <= CurrentY;
    if (put != ((flags & DISPATCH_PROPERTYPUT) != 0)) return DISP_E_MEMBERNOTFOUND;
    const UINT wanted = id == Line ? 6 : 1;
    if (parameters->cArgs != wanted) return DISP_E_BADPARAMCOUNT;
    if (put &&
        (parameters->cNamedArgs != 1 || parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return DISP_E_PARAMNOTOPTIONAL;
    const VARIANT* arguments = parameters->rgvarg;  // last to first
    std::string line = toUtf8(members[static_cast<std::size_t>(id - 1)],
                              wcslen(members[static_cast<std::size_t>(id - 1)]));
    line += '\t';
    switch (id) {
        case FontName:
            line += shown(arguments[0], VT_BSTR);
            break;
        case ForeColor:
            line += shown(arguments[0], VT_I4);
            break;
        case FontBold:
            line += shown(arguments[0], VT_BOOL);
            break;
        case FontSize:
            line += shown(arguments[0], VT_I2);
            if (arguments[0].vt == VT_I2) fontSize_ = arguments[0].iVal;
            break;
        case CurrentX:
            line += shown(arguments[0], arguments[0].vt == VT_I2 || arguments[0].vt == VT_R4
                                            ? arguments[0].vt
                                            : static_cast<VARTYPE>(VT_R8));
            break;
        case CurrentY:
            line += shown(arguments[0], VT_R4);
            break;
        case TextWidth:
        case TextHeight: {
            const double measured = id == TextWidth
                                        ? fontSize_ * 12.0 * characterCount(arguments[0].bstrVal)
                                        : fontSize_ * 24.0;
            line += shown(arguments[0], VT_BSTR) + "\t" + number(measured);
            // A VB drawing object answers in single precision.
            if (result != nullptr) {
                VariantInit(result);
                result->vt = VT_R4;
                result->fltVal = static_cast<float>(measured);
            }
            break;
        }
        case Line: {
            // A bar's colour is the caller's pLineColor variable, by reference; a space's the
            // plain value white.
            const VARIANT& color = arguments[0];
            const bool bar = color.vt == (VT_I4 | VT_BYREF);
            const std::array<VARTYPE, 6> types = {
                VT_I2,
                VT_I2 | VT_BYREF,
                VT_R4,
                VT_I2,
                VT_R4,
                static_cast<VARTYPE>(bar || color.lVal != 0x00FFFFFF ? VT_I4 | VT_BYREF : VT_I4)};
            for (std::size_t i = 0; i < types.size(); ++i) {
                if (i > 0) line += '\t';
                line += shown(arguments[types.size() - 1 - i], types[i]);
            }
            if (bar) {
                ++barsByReference_;
                barColorVariable_ = color.plVal;
                if (recolour_) {
                    *color.plVal = recolourTo_;
                    recolour_ = false;
                }
            }
            break;
        }
        case Print:
            line += shown(arguments[0], VT_BSTR);
            break;
        default:
            break;
    }
    trace_ += line + "\n";
    return S_OK;
}

}  // namespace client
