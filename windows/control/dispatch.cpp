// The control's dispatch side: IDispatch by name and DISPID, the coercion of each argument to
// its declared type, and the vtable entries of the dual interface. Both roads end in draw().
#include <array>
#include <new>

#include "windows/control/control.h"
#include "windows/control/dispatch_surface.h"

namespace quillet::com {
namespace {

constexpr DISPID firstDrawingId = 0x60030005;

// The drawing methods in interface order, from DISPID 0x60030005 on.
struct DrawingMethod {
    const wchar_t* name;
    tBarcodeType type;
};
constexpr std::array<DrawingMethod, 15> drawingMethods = {{
    {L"BarUPCAPlus", quillet::UPC_A_Plus},
    {L"BarCODABAR", quillet::Codabar},
    {L"BarCODE11", quillet::Code_11},
    {L"BarCODE25", quillet::Code_25},
    {L"BarCODE39", quillet::Code_39},
    {L"BarCODE39F", quillet::Code_39F},
    {L"BarISBN", quillet::ISBN},
    {L"BarMSI", quillet::Code_MSI},
    {L"BarPOSTNET", quillet::PostNet},
    {L"BarCODE93", quillet::Code_93},
    {L"BarEAN13", quillet::EAN_13},
    {L"BarCODE128", quillet::Code_128},
    {L"BarEAN8", quillet::EAN_8},
    {L"BarUPCA", quillet::UPC_A},
    {L"BarUPCE", quillet::UPC_E},
}};

constexpr std::array<const wchar_t*, 13> parameterNames = {
    L"pObject", L"pX",    L"pY",         L"pCode",      L"pWidth", L"pHeight", L"pText",
    L"pBold",   L"pFont", L"pForeColor", L"pLineColor", L"pRatio", L"pChk"};

// The storage type each drawing parameter is coerced to.
constexpr std::array<VARTYPE, 13> parameterTypes = {VT_DISPATCH, VT_R4,   VT_R4,   VT_BSTR, VT_I2,
                                                    VT_I2,       VT_I2,   VT_BOOL, VT_BSTR, VT_I4,
                                                    VT_I4,       VT_BSTR, VT_BOOL};

// An argument as passed, by value or by reference, coerced as OLE Automation does.
HRESULT coerce(VARIANT& argument, VARTYPE type, LCID locale, Variant& out) {
    if (type == VT_DISPATCH) {
        Variant plain;
        HRESULT result = VariantCopyInd(&plain, &argument);
        if (FAILED(result)) return result;
        if (plain.vt == VT_DISPATCH) return VariantCopy(&out, &plain);
        if (plain.vt == VT_UNKNOWN) {
            out.vt = VT_DISPATCH;
            out.pdispVal = nullptr;
            if (plain.punkVal == nullptr) return S_OK;  // Nothing
            return plain.punkVal->QueryInterface(IID_IDispatch,
                                                 reinterpret_cast<void**>(&out.pdispVal)) == S_OK
                       ? S_OK
                       : DISP_E_TYPEMISMATCH;
        }
        return DISP_E_TYPEMISMATCH;
    }
    return VariantChangeTypeEx(&out, &argument, locale, 0, type);
}

// Writes the normalised pCode back into whatever storage the caller passed: a BSTR variable,
// or a variant variable (what script engines pass). A by-value argument is the caller's own copy.
void writeBack(VARIANT& argument, const std::string& code) {
    VARIANT* target = nullptr;
    if (argument.vt == (VT_BSTR | VT_BYREF))
        target = &argument;
    else if (argument.vt == (VT_VARIANT | VT_BYREF))
        target = argument.pvarVal;
    if (target == nullptr) return;
    if (target->vt == (VT_BSTR | VT_BYREF)) {
        if (target->pbstrVal == nullptr) return;
        BSTR replacement = allocateBstr(code);
        SysFreeString(*target->pbstrVal);
        *target->pbstrVal = replacement;
        return;
    }
    if (target->vt & VT_BYREF) return;  // storage of another type cannot hold the text
    VariantClear(target);
    target->vt = VT_BSTR;
    target->bstrVal = allocateBstr(code);
}

// The element of rgvarg that carries each parameter, placed as COM's own dispatch places them:
// the positional arguments first (rgvarg lists them last to first, after the named ones), then
// each named argument at the parameter its DISPID names. Every parameter is required.
using Placement = std::array<VARIANT*, parameterTypes.size()>;

HRESULT placeArguments(const DISPPARAMS& parameters, Placement& placed, UINT* argumentError) {
    const UINT count = parameters.cArgs;
    const UINT named = parameters.cNamedArgs;
    if (named > count) return E_INVALIDARG;
    if (count > placed.size() || (named == 0 && count != placed.size()))
        return DISP_E_BADPARAMCOUNT;
    placed.fill(nullptr);
    for (UINT i = 0; i < count - named; ++i) placed[i] = &parameters.rgvarg[count - 1 - i];
    for (UINT k = 0; k < named; ++k) {
        const DISPID id = parameters.rgdispidNamedArgs[k];
        // A DISPID that names no parameter, or a parameter that already has its argument.
        if (id < 0 || id >= static_cast<DISPID>(placed.size()) || placed[id] != nullptr) {
            if (argumentError != nullptr) *argumentError = k;
            return DISP_E_PARAMNOTFOUND;
        }
        placed[id] = &parameters.rgvarg[k];
    }
    for (VARIANT* argument : placed) {
        if (argument == nullptr) return DISP_E_PARAMNOTOPTIONAL;
        // What a VB host passes for an argument left out between commas.
        if (argument->vt == VT_ERROR && argument->scode == DISP_E_PARAMNOTFOUND) {
            if (argumentError != nullptr)
                *argumentError = static_cast<UINT>(argument - parameters.rgvarg);
            return DISP_E_PARAMNOTOPTIONAL;
        }
    }
    return S_OK;
}

// The caller's pLineColor variable, which the surface's "Line" receives by reference for each
// bar: a Long variable, or a script's variant variable holding a Long. Storage of another type
// cannot be handed on as a Long, so the coerced copy stands in for it.
LONG* lineColorVariable(VARIANT& argument, LONG& copy) {
    if (argument.vt == (VT_I4 | VT_BYREF) && argument.plVal != nullptr) return argument.plVal;
    if (argument.vt == (VT_VARIANT | VT_BYREF) && argument.pvarVal != nullptr &&
        argument.pvarVal->vt == VT_I4)
        return &argument.pvarVal->lVal;
    return &copy;
}

bool sameName(const wchar_t* a, const wchar_t* b) {
    return _wcsicmp(a, b) == 0;
}

}  // namespace

// --- IDispatch ---------------------------------------------------------------------------

HRESULT Control::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT Control::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeLib* library = nullptr;
    HRESULT result = loadTypeLibrary(&library);
    if (FAILED(result)) return result;
    result = library->GetTypeInfoOfGuid(IID__Quillet, info);
    library->Release();
    return result;
}

HRESULT Control::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
    if (names == nullptr || dispids == nullptr || count == 0) return E_POINTER;
    for (UINT i = 0; i < count; ++i) dispids[i] = DISPID_UNKNOWN;
    if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
    bool drawing = false;
    if (sameName(names[0], L"SupBarType")) {
        dispids[0] = supBarTypeId;
    } else if (sameName(names[0], L"ShowAboutBox")) {
        dispids[0] = DISPID_ABOUTBOX;
    } else {
        for (std::size_t i = 0; i < drawingMethods.size(); ++i) {
            if (sameName(names[0], drawingMethods[i].name)) {
                dispids[0] = firstDrawingId + static_cast<DISPID>(i);
                drawing = true;
            }
        }
    }
    if (dispids[0] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    HRESULT result = S_OK;
    for (UINT i = 1; i < count; ++i) {
        for (std::size_t k = 0; drawing && names[i] != nullptr && k < parameterNames.size(); ++k)
            if (sameName(names[i], parameterNames[k])) dispids[i] = static_cast<DISPID>(k);
        if (dispids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
}

HRESULT Control::Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (parameters == nullptr) return E_INVALIDARG;
    if (parameters->cArgs > 0 && parameters->rgvarg == nullptr) return E_INVALIDARG;
    if (parameters->cNamedArgs > 0 && parameters->rgdispidNamedArgs == nullptr) return E_INVALIDARG;
    if (result != nullptr) VariantInit(result);

    if (member >= firstDrawingId &&
        member < firstDrawingId + static_cast<DISPID>(drawingMethods.size())) {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        const auto& method = drawingMethods[static_cast<std::size_t>(member - firstDrawingId)];
        return invokeDrawing(method.type, locale, parameters, result, exception, argumentError);
    }
    if (member == DISPID_ABOUTBOX) {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        // A method without parameters has no name for any argument.
        if (parameters->cNamedArgs > 0) {
            if (argumentError != nullptr) *argumentError = 0;
            return DISP_E_PARAMNOTFOUND;
        }
        if (parameters->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        return ShowAboutBox();
    }
    if (member != supBarTypeId) return DISP_E_MEMBERNOTFOUND;

    // SupBarType holds a number: it has a put but no put by reference.
    if (flags & DISPATCH_PROPERTYPUT) {
        if (parameters->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (parameters->cNamedArgs != 1 || parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTOPTIONAL;
        // Coerced to a 64-bit integer first, so that the 16-bit range check is the control's.
        Variant value;
        const HRESULT coerced =
            VariantChangeTypeEx(&value, &parameters->rgvarg[0], locale, 0, VT_I8);
        std::int32_t failure = 0;
        if (coerced == DISP_E_OVERFLOW) {
            failure = error::overflow;
        } else if (FAILED(coerced)) {
            if (argumentError != nullptr) *argumentError = 0;
            return coerced;
        } else if (FAILED(setSupBarType(value.llVal, failure)) && failure == 0) {
            return E_FAIL;
        }
        if (failure == 0) return S_OK;
        fillException(exception, failure);
        return DISP_E_EXCEPTION;
    }
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
        if (parameters->cNamedArgs > 0) {
            if (argumentError != nullptr) *argumentError = 0;
            return DISP_E_PARAMNOTFOUND;
        }
        if (parameters->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result != nullptr) {
            result->vt = VT_I4;
            result->lVal = quillet_.SupBarType();
        }
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Control::invokeDrawing(tBarcodeType type, LCID locale, DISPPARAMS* parameters,
                               VARIANT* result, EXCEPINFO* exception,
                               UINT* argumentError) noexcept {
    Placement placed;
    const HRESULT placement = placeArguments(*parameters, placed, argumentError);
    if (FAILED(placement)) return placement;
    try {
        std::array<Variant, parameterTypes.size()> values;
        for (std::size_t i = 0; i < parameterTypes.size(); ++i) {
            const HRESULT coerced = coerce(*placed[i], parameterTypes[i], locale, values[i]);
            if (FAILED(coerced)) {
                if (argumentError != nullptr)
                    *argumentError = static_cast<UINT>(placed[i] - parameters->rgvarg);
                return coerced;
            }
        }
        DrawingArguments arguments;
        arguments.pX = values[1].fltVal;
        arguments.pY = values[2].fltVal;
        arguments.pCode = toUtf8(values[3].bstrVal);
        arguments.pWidth = values[4].iVal;
        arguments.pHeight = values[5].iVal;
        arguments.pText = values[6].iVal;
        arguments.pBold = values[7].boolVal != VARIANT_FALSE;
        arguments.pFont = toUtf8(values[8].bstrVal);
        arguments.pForeColor = values[9].lVal;
        arguments.pLineColor = values[10].lVal;
        arguments.pRatio = toUtf8(values[11].bstrVal);
        arguments.pChk = values[12].boolVal != VARIANT_FALSE;

        std::int16_t code = 0;
        std::int32_t failure = 0;
        LONG* lineColor = lineColorVariable(*placed[10], values[10].lVal);
        const HRESULT drawn = draw(type, values[0].pdispVal, lineColor, arguments, code, failure);
        writeBack(*placed[3], arguments.pCode);
        if (failure != 0) {
            fillException(exception, failure);
            return DISP_E_EXCEPTION;
        }
        if (FAILED(drawn)) return drawn;
        if (result != nullptr) {
            result->vt = VT_I2;
            result->iVal = code;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT Control::draw(tBarcodeType type, IDispatch* object, LONG* lineColor,
                      DrawingArguments& arguments, std::int16_t& result,
                      std::int32_t& failure) noexcept {
    try {
        DispatchSurface surface(object, lineColor);
        // Nothing stays Nothing: the frame reports it as the missing object it is.
        result = quillet_.Draw(type, object != nullptr ? &surface : nullptr, arguments);
        return S_OK;
    } catch (const RuntimeError& thrown) {
        failure = thrown.number();
    } catch (const std::bad_alloc&) {
        failure = 7;
    } catch (...) {
        return E_UNEXPECTED;
    }
    return runtimeErrorResult(failure);
}

HRESULT Control::drawByVtable(tBarcodeType type, IDispatch** pObject, float* pX, float* pY,
                              BSTR* pCode, short* pWidth, short* pHeight, short* pText,
                              VARIANT_BOOL* pBold, BSTR* pFont, LONG* pForeColor, LONG* pLineColor,
                              BSTR* pRatio, VARIANT_BOOL* pChk, short* result) noexcept {
    if (pObject == nullptr || pX == nullptr || pY == nullptr || pCode == nullptr ||
        pWidth == nullptr || pHeight == nullptr || pText == nullptr || pBold == nullptr ||
        pFont == nullptr || pForeColor == nullptr || pLineColor == nullptr || pRatio == nullptr ||
        pChk == nullptr || result == nullptr)
        return E_POINTER;
    try {
        DrawingArguments arguments;
        arguments.pX = *pX;
        arguments.pY = *pY;
        arguments.pCode = toUtf8(*pCode);
        arguments.pWidth = *pWidth;
        arguments.pHeight = *pHeight;
        arguments.pText = *pText;
        arguments.pBold = *pBold != VARIANT_FALSE;
        arguments.pFont = toUtf8(*pFont);
        arguments.pForeColor = *pForeColor;
        arguments.pLineColor = *pLineColor;
        arguments.pRatio = toUtf8(*pRatio);
        arguments.pChk = *pChk != VARIANT_FALSE;
        std::int16_t code = 0;
        std::int32_t failure = 0;
        const HRESULT drawn = draw(type, *pObject, pLineColor, arguments, code, failure);
        BSTR written = allocateBstr(arguments.pCode);
        if (written == nullptr && !arguments.pCode.empty()) return E_OUTOFMEMORY;
        SysFreeString(*pCode);
        *pCode = written;
        if (failure != 0) return reportRuntimeError(failure);
        if (FAILED(drawn)) return drawn;
        *result = code;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

#define QUILLET_DRAWING_METHOD(name, type)                                                       \
    HRESULT Control::name(IDispatch** pObject, float* pX, float* pY, BSTR* pCode, short* pWidth, \
                          short* pHeight, short* pText, VARIANT_BOOL* pBold, BSTR* pFont,        \
                          LONG* pForeColor, LONG* pLineColor, BSTR* pRatio, VARIANT_BOOL* pChk,  \
                          short* result) {                                                       \
        return drawByVtable(type, pObject, pX, pY, pCode, pWidth, pHeight, pText, pBold, pFont,  \
                            pForeColor, pLineColor, pRatio, pChk, result);                       \
    }
QUILLET_DRAWING_METHOD(BarUPCAPlus, quillet::UPC_A_Plus)
QUILLET_DRAWING_METHOD(BarCODABAR, quillet::Codabar)
QUILLET_DRAWING_METHOD(BarCODE11, quillet::Code_11)
QUILLET_DRAWING_METHOD(BarCODE25, quillet::Code_25)
QUILLET_DRAWING_METHOD(BarCODE39, quillet::Code_39)
QUILLET_DRAWING_METHOD(BarCODE39F, quillet::Code_39F)
QUILLET_DRAWING_METHOD(BarISBN, quillet::ISBN)
QUILLET_DRAWING_METHOD(BarMSI, quillet::Code_MSI)
QUILLET_DRAWING_METHOD(BarPOSTNET, quillet::PostNet)
QUILLET_DRAWING_METHOD(BarCODE93, quillet::Code_93)
QUILLET_DRAWING_METHOD(BarEAN13, quillet::EAN_13)
QUILLET_DRAWING_METHOD(BarCODE128, quillet::Code_128)
QUILLET_DRAWING_METHOD(BarEAN8, quillet::EAN_8)
QUILLET_DRAWING_METHOD(BarUPCA, quillet::UPC_A)
QUILLET_DRAWING_METHOD(BarUPCE, quillet::UPC_E)
#undef QUILLET_DRAWING_METHOD

}  // namespace quillet::com
