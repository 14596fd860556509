// The control's container side: what a form or an ATL host needs to site it (IOleObject,
// IOleControl, IOleInPlaceObject, persistence, class information, connection points and the
// design-time picture). The control draws nothing on itself at run time and saves nothing.
#include <array>
#include <new>

#include "windows/control/control.h"

namespace quillet::com {
namespace {

// The control's square: 600 twips, or 600 / 1440 inch, in HIMETRIC (0.01 mm) units.
constexpr LONG twipsToHimetric(LONG twips) noexcept {
    return (twips * 2540 + 720) / 1440;
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
