#include "windows/control/dispatch_surface.h"

#include <dispex.h>

#include "render/errors.h"

namespace quillet::com {
namespace {

constexpr std::array<const wchar_t*, DispatchSurface::memberCount> memberNames = {
    L"FontName", L"ForeColor", L"FontBold",   L"FontSize", L"CurrentX",
    L"CurrentY", L"TextWidth", L"TextHeight", L"Line",     L"Print"};

// Owns the BSTRs of an EXCEPINFO and fills it in when the callee deferred that.
struct Exception : EXCEPINFO {
    Exception() : EXCEPINFO{} {}
    // Most calls succeed and leave nothing to free: oleaut32 is not called for nothing.
    ~Exception() {
        for (BSTR text : {bstrSource, bstrDescription, bstrHelpFile})
            if (text != nullptr) SysFreeString(text);
    }
    Exception(const Exception&) = delete;
    Exception& operator=(const Exception&) = delete;
    void complete() {
        if (pfnDeferredFillIn != nullptr) {
            pfnDeferredFillIn(this);
            pfnDeferredFillIn = nullptr;
        }
    }
};

struct TextArgument : VARIANT {
    explicit TextArgument(std::string_view text) : VARIANT{} {
        vt = VT_BSTR;
        bstrVal = allocateBstr(text);
        if (bstrVal == nullptr && !text.empty()) raise(7);
    }
    ~TextArgument() { SysFreeString(bstrVal); }
    TextArgument(const TextArgument&) = delete;
    TextArgument& operator=(const TextArgument&) = delete;
};

// Arguments are made here rather than through VariantInit: a box passes six of them, and each
// call into oleaut32 costs more than the rest of the argument.
VARIANT shortValue(std::int16_t value) {
    VARIANT v{};
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT longValue(std::int32_t value) {
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT floatValue(float value) {
    VARIANT v{};
    v.vt = VT_R4;
    v.fltVal = value;
    return v;
}

VARIANT doubleValue(double value) {
    VARIANT v{};
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

}  // namespace

DISPID DispatchSurface::dispid(Member member) {
    if (object_ == nullptr) raise(error::objectVariableNotSet);
    if (resolved_[member]) return dispids_[member];
    LPOLESTR name = const_cast<LPOLESTR>(memberNames[member]);
    DISPID found = DISPID_UNKNOWN;
    HRESULT result = object_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &found);
    if (FAILED(result)) {
        // Script engines' objects may only answer through IDispatchEx.
        IDispatchEx* extended = nullptr;
        if (SUCCEEDED(
                object_->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&extended)))) {
            BSTR text = SysAllocString(memberNames[member]);
            result = extended->GetDispID(text, fdexNameCaseInsensitive, &found);
            SysFreeString(text);
            extended->Release();
        }
    }
    if (FAILED(result)) raise(error::noSuchMember);
    dispids_[member] = found;
    resolved_[member] = true;
    return found;
}

void DispatchSurface::put(Member member, VARIANT& value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&value, &named, 1, 1};
    Exception exception;
    const DISPID id = dispid(member);
    const HRESULT result = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                           &parameters, nullptr, &exception, nullptr);
    if (FAILED(result)) {
        exception.complete();
        raise(runtimeNumberOf(result, &exception));
    }
}

double DispatchSurface::call(Member member, VARIANT* reversed, UINT count, bool wantResult) {
    DISPPARAMS parameters{reversed, nullptr, count, 0};
    Exception exception;
    const DISPID id = dispid(member);
    if (!wantResult) {
        const HRESULT status = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                               &parameters, nullptr, &exception, nullptr);
        if (FAILED(status)) {
            exception.complete();
            raise(runtimeNumberOf(status, &exception));
        }
        return 0;
    }
    // A VB host calls a function with arguments as a method that may also be a property get.
    Variant result;
    const HRESULT status =
        object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &parameters, &result, &exception, nullptr);
    if (FAILED(status)) {
        exception.complete();
        raise(runtimeNumberOf(status, &exception));
    }
    if (result.vt == VT_R8) return result.dblVal;
    Variant number;
    const HRESULT converted = VariantChangeType(&number, &result, 0, VT_R8);
    if (FAILED(converted)) raise(runtimeNumberOf(converted, nullptr));
    return number.dblVal;
}

double DispatchSurface::measure(Member member, std::string_view text) {
    TextArgument argument(text);
    return call(member, &argument, 1, true);
}

void DispatchSurface::setFontName(std::string_view name) {
    TextArgument value(name);
    put(FontName, value);
}

void DispatchSurface::setForeColor(std::int32_t color) {
    VARIANT value = longValue(color);
    put(ForeColor, value);
}

void DispatchSurface::setFontBold(bool bold) {
    VARIANT value{};
    value.vt = VT_BOOL;
    value.boolVal = bold ? VARIANT_TRUE : VARIANT_FALSE;
    put(FontBold, value);
}

void DispatchSurface::setFontSize(std::int16_t size) {
    VARIANT value = shortValue(size);
    put(FontSize, value);
}

void DispatchSurface::setCurrentX(Coordinate x) {
    VARIANT value = std::visit(
        [](auto number) {
            if constexpr (std::is_same_v<decltype(number), std::int16_t>) {
                return shortValue(number);
            } else if constexpr (std::is_same_v<decltype(number), float>) {
                return floatValue(number);
            } else {
                return doubleValue(number);
            }
        },
        x);
    put(CurrentX, value);
}

void DispatchSurface::setCurrentY(float y) {
    VARIANT value = floatValue(y);
    put(CurrentY, value);
}

double DispatchSurface::textWidth(std::string_view text) {
    return measure(TextWidth, text);
}

double DispatchSurface::textHeight(std::string_view text) {
    return measure(TextHeight, text);
}

void DispatchSurface::callLine(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2,
                               float y2, const VARIANT& color) {
    // X1 goes by reference, as a VB host passes a variable.
    VARIANT byReference{};
    byReference.vt = VT_I2 | VT_BYREF;
    byReference.piVal = &x1;
    // Last to first, as DISPPARAMS lists them.
    VARIANT reversed[6] = {color,          floatValue(y2), shortValue(x2),
                           floatValue(y1), byReference,    shortValue(flags)};
    call(Line, reversed, 6, false);
}

void DispatchSurface::line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2,
                           float y2, std::int32_t color) {
    callLine(flags, x1, y1, x2, y2, longValue(color));
}

void DispatchSurface::bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
                          std::int32_t color) {
    if (lineColor_ == nullptr) return line(flags, x1, y1, x2, y2, color);
    VARIANT variable{};
    variable.vt = VT_I4 | VT_BYREF;
    variable.plVal = lineColor_;
    callLine(flags, x1, y1, x2, y2, variable);
}

void DispatchSurface::print(std::string_view text) {
    TextArgument argument(text);
    call(Print, &argument, 1, false);
}

}  // namespace quillet::com
