#include "control/com/control.h"

#include <algorithm>
#include <array>
#include <new>

#include "control/com/about_dialog.h"
#include "control/com/dispatch_surface.h"

namespace quillet::com {
namespace {

constexpr DISPID supBarTypeId = 0x68030000;
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

// The control's square: 600 twips, or 600 / 1440 inch, in HIMETRIC (0.01 mm) units.
constexpr LONG twipsToHimetric(LONG twips) noexcept {
    return (twips * 2540 + 720) / 1440;
}

struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

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

bool sameName(const wchar_t* a, const wchar_t* b) {
    return _wcsicmp(a, b) == 0;
}

}  // namespace

// --- Connection points -------------------------------------------------------------------

ConnectionPoint::~ConnectionPoint() {
    for (IUnknown* sink : sinks_)
        if (sink != nullptr) sink->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// A connection point lives inside its control and keeps it alive.
ULONG ConnectionPoint::AddRef() {
    return owner_.AddRef();
}
ULONG ConnectionPoint::Release() {
    return owner_.Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (iid == nullptr) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (container == nullptr) return E_POINTER;
    *container = static_cast<IConnectionPointContainer*>(&owner_);
    owner_.AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    *cookie = 0;
    IUnknown* typed = nullptr;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&typed))))
        return CONNECT_E_CANNOTCONNECT;
    try {
        sinks_.push_back(typed);
    } catch (const std::bad_alloc&) {
        typed->Release();
        return E_OUTOFMEMORY;
    }
    *cookie = static_cast<DWORD>(sinks_.size());
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    if (cookie == 0 || cookie > sinks_.size() || sinks_[cookie - 1] == nullptr)
        return CONNECT_E_NOCONNECTION;
    IUnknown* sink = sinks_[cookie - 1];
    sinks_[cookie - 1] = nullptr;
    sink->Release();
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections != nullptr) *connections = nullptr;
    return E_NOTIMPL;
}

// --- Lifetime ----------------------------------------------------------------------------

Control::Control()
    : events_(*this, DIID___Quillet), propertyNotify_(*this, IID_IPropertyNotifySink) {
    quillet_.propertyChanged = [this](std::string_view) { notifyChanged(supBarTypeId); };
    quillet_.aboutBox = [] { showAboutDialog(); };
    objectCreated();
}

Control::~Control() {
    if (site_ != nullptr) site_->Release();
    if (adviseHolder_ != nullptr) adviseHolder_->Release();
    if (viewSink_ != nullptr) viewSink_->Release();
    objectDestroyed();
}

HRESULT Control::create(REFIID iid, void** object) {
    Control* control = new (std::nothrow) Control();
    if (control == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = control->QueryInterface(iid, object);
    control->Release();
    return result;
}

HRESULT Control::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__Quillet)
        *object = static_cast<_Quillet*>(this);
    else if (iid == IID_IOleObject)
        *object = static_cast<IOleObject*>(this);
    else if (iid == IID_IOleControl)
        *object = static_cast<IOleControl*>(this);
    else if (iid == IID_IOleInPlaceObject || iid == IID_IOleWindow)
        *object = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IPersistStreamInit || iid == IID_IPersist)
        *object = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IPersistPropertyBag)
        *object = static_cast<IPersistPropertyBag*>(this);
    else if (iid == IID_IProvideClassInfo2 || iid == IID_IProvideClassInfo)
        *object = static_cast<IProvideClassInfo2*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IViewObject2 || iid == IID_IViewObject)
        *object = static_cast<IViewObject2*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG Control::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG Control::Release() {
    const LONG remaining = InterlockedDecrement(&references_);
    if (remaining == 0) delete this;
    return static_cast<ULONG>(remaining);
}

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
        if (parameters->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
        if (parameters->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        return ShowAboutBox();
    }
    if (member != supBarTypeId) return DISP_E_MEMBERNOTFOUND;

    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
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
    if (parameters->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
    if (parameters->cArgs != parameterTypes.size()) return DISP_E_BADPARAMCOUNT;
    try {
        // rgvarg holds the arguments last to first.
        auto argument = [&](std::size_t index) -> VARIANT& {
            return parameters->rgvarg[parameterTypes.size() - 1 - index];
        };
        std::array<Variant, 13> values;
        for (std::size_t i = 0; i < parameterTypes.size(); ++i) {
            const HRESULT coerced = coerce(argument(i), parameterTypes[i], locale, values[i]);
            if (FAILED(coerced)) {
                if (argumentError != nullptr)
                    *argumentError = static_cast<UINT>(parameterTypes.size() - 1 - i);
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
        const HRESULT drawn = draw(type, values[0].pdispVal, arguments, code, failure);
        writeBack(argument(3), arguments.pCode);
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

HRESULT Control::draw(tBarcodeType type, IDispatch* object, DrawingArguments& arguments,
                      std::int16_t& result, std::int32_t& failure) noexcept {
    try {
        DispatchSurface surface(object);
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
        const HRESULT drawn = draw(type, *pObject, arguments, code, failure);
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

// --- SupBarType and the About box --------------------------------------------------------

HRESULT Control::setSupBarType(std::int64_t value, std::int32_t& failure) noexcept {
    try {
        quillet_.SupBarType(value);
        return S_OK;
    } catch (const RuntimeError& thrown) {
        failure = thrown.number();
    } catch (...) {
        return E_UNEXPECTED;
    }
    return runtimeErrorResult(failure);
}

HRESULT Control::put_SupBarType(::tBarcodeType* value) {
    if (value == nullptr) return E_POINTER;
    std::int32_t failure = 0;
    const HRESULT result = setSupBarType(static_cast<std::int64_t>(*value), failure);
    return failure != 0 ? reportRuntimeError(failure) : result;
}

HRESULT Control::get_SupBarType(::tBarcodeType* value) {
    if (value == nullptr) return E_POINTER;
    *value = static_cast<::tBarcodeType>(quillet_.SupBarType());
    return S_OK;
}

HRESULT Control::ShowAboutBox() {
    try {
        quillet_.ShowAboutBox();
        return S_OK;
    } catch (const RuntimeError& thrown) {
        return reportRuntimeError(thrown.number());
    } catch (...) {
        return E_UNEXPECTED;
    }
}

void Control::notifyChanged(DISPID member) {
    // A sink may unadvise from inside OnChanged: walk a snapshot.
    std::vector<IUnknown*> sinks;
    for (IUnknown* sink : propertyNotify_.sinks()) {
        if (sink == nullptr) continue;
        sink->AddRef();
        sinks.push_back(sink);
    }
    HRESULT failed = S_OK;
    for (IUnknown* sink : sinks) {
        const HRESULT result = static_cast<IPropertyNotifySink*>(sink)->OnChanged(member);
        if (FAILED(result) && SUCCEEDED(failed)) failed = result;
        sink->Release();
    }
    if (FAILED(failed))
        raise(HRESULT_FACILITY(failed) == FACILITY_CONTROL ? HRESULT_CODE(failed)
                                                           : runtimeNumberOf(failed, nullptr));
}

// --- IOleObject --------------------------------------------------------------------------

HRESULT Control::SetClientSite(IOleClientSite* site) {
    if (site != nullptr) site->AddRef();
    if (site_ != nullptr) site_->Release();
    site_ = site;
    return S_OK;
}

HRESULT Control::GetClientSite(IOleClientSite** site) {
    if (site == nullptr) return E_POINTER;
    *site = site_;
    if (site_ != nullptr) site_->AddRef();
    return S_OK;
}

HRESULT Control::Close(DWORD) {
    if (adviseHolder_ != nullptr) adviseHolder_->SendOnClose();
    return S_OK;
}

HRESULT Control::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT Control::GetClipboardData(DWORD, IDataObject** data) {
    if (data != nullptr) *data = nullptr;
    return E_NOTIMPL;
}

HRESULT Control::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) {
    switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
        case OLEIVERB_HIDE:
            return S_OK;
        case OLEIVERB_PROPERTIES:
            return OLEOBJ_S_CANNOT_DOVERB_NOW;
        default:
            return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT Control::EnumVerbs(IEnumOLEVERB** verbs) {
    if (verbs == nullptr) return E_POINTER;
    return OleRegEnumVerbs(CLSID_Quillet, verbs);
}

HRESULT Control::GetUserClassID(CLSID* clsid) {
    return GetClassID(clsid);
}

HRESULT Control::GetUserType(DWORD form, LPOLESTR* name) {
    if (name == nullptr) return E_POINTER;
    return OleRegGetUserType(CLSID_Quillet, form, name);
}

SIZEL Control::extentInHimetric() const noexcept {
    const Extent size = quillet_.Size();
    return SIZEL{twipsToHimetric(size.width), twipsToHimetric(size.height)};
}

HRESULT Control::SetExtent(DWORD aspect, SIZEL* size) {
    if (size == nullptr) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    // The control keeps its square whatever it is asked for.
    quillet_.Resize(Extent{MulDiv(size->cx, 1440, 2540), MulDiv(size->cy, 1440, 2540)});
    return S_OK;
}

HRESULT Control::GetExtent(DWORD aspect, SIZEL* size) {
    if (size == nullptr) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = extentInHimetric();
    return S_OK;
}

HRESULT Control::Advise(IAdviseSink* sink, DWORD* connection) {
    if (sink == nullptr || connection == nullptr) return E_POINTER;
    if (adviseHolder_ == nullptr && FAILED(CreateOleAdviseHolder(&adviseHolder_)))
        return E_OUTOFMEMORY;
    return adviseHolder_->Advise(sink, connection);
}

HRESULT Control::Unadvise(DWORD connection) {
    if (adviseHolder_ == nullptr) return OLE_E_NOCONNECTION;
    return adviseHolder_->Unadvise(connection);
}

HRESULT Control::EnumAdvise(IEnumSTATDATA** advise) {
    if (advise == nullptr) return E_POINTER;
    *advise = nullptr;
    if (adviseHolder_ == nullptr) return E_FAIL;
    return adviseHolder_->EnumAdvise(advise);
}

HRESULT Control::GetMiscStatus(DWORD, DWORD* status) {
    if (status == nullptr) return E_POINTER;
    *status = miscStatus;
    return S_OK;
}

// --- IOleControl, IOleInPlaceObject ------------------------------------------------------

HRESULT Control::GetControlInfo(CONTROLINFO* info) {
    if (info == nullptr) return E_POINTER;
    if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT Control::GetWindow(HWND* window) {
    if (window == nullptr) return E_POINTER;
    *window = nullptr;
    return E_FAIL;  // the control has no window of its own
}

HRESULT Control::SetObjectRects(LPCRECT position, LPCRECT) {
    if (position == nullptr) return E_POINTER;
    quillet_.Resize(Extent{position->right - position->left, position->bottom - position->top});
    return S_OK;
}

// --- Persistence -------------------------------------------------------------------------

HRESULT Control::GetClassID(CLSID* clsid) {
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_Quillet;
    return S_OK;
}

HRESULT Control::GetSizeMax(ULARGE_INTEGER* size) {
    if (size == nullptr) return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

// --- IProvideClassInfo2, IConnectionPointContainer ---------------------------------------

HRESULT Control::GetClassInfo(ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    ITypeLib* library = nullptr;
    HRESULT result = loadTypeLibrary(&library);
    if (FAILED(result)) return result;
    result = library->GetTypeInfoOfGuid(CLSID_Quillet, info);
    library->Release();
    return result;
}

HRESULT Control::GetGUID(DWORD kind, GUID* guid) {
    if (guid == nullptr) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = DIID___Quillet;
    return S_OK;
}

HRESULT Control::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points != nullptr) *points = nullptr;
    return E_NOTIMPL;
}

HRESULT Control::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    if (iid == DIID___Quillet)
        *point = &events_;
    else if (iid == IID_IPropertyNotifySink)
        *point = &propertyNotify_;
    else
        return CONNECT_E_NOCONNECTION;
    (*point)->AddRef();
    return S_OK;
}

// --- IViewObject2 ------------------------------------------------------------------------

HRESULT Control::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC target, LPCRECTL bounds,
                      LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (target == nullptr || bounds == nullptr) return E_INVALIDARG;
    // A framed white square with a few bars, so that the control can be found on a form.
    const RECT square{bounds->left, bounds->top, bounds->right, bounds->bottom};
    FillRect(target, &square, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(target, &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const LONG width = square.right - square.left;
    const LONG height = square.bottom - square.top;
    constexpr std::array<int, 6> bars = {2, 4, 5, 8, 10, 11};
    for (int bar : bars) {
        const RECT box{square.left + width * bar / 14, square.top + height / 5,
                       square.left + width * (bar + 1) / 14, square.bottom - height / 5};
        FillRect(target, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    return S_OK;
}

HRESULT Control::SetAdvise(DWORD, DWORD, IAdviseSink* sink) {
    if (sink != nullptr) sink->AddRef();
    if (viewSink_ != nullptr) viewSink_->Release();
    viewSink_ = sink;
    return S_OK;
}

HRESULT Control::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects != nullptr) *aspects = DVASPECT_CONTENT;
    if (flags != nullptr) *flags = 0;
    if (sink != nullptr) {
        *sink = viewSink_;
        if (viewSink_ != nullptr) viewSink_->AddRef();
    }
    return S_OK;
}

HRESULT Control::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

}  // namespace quillet::com
