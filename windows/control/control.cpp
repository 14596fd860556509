// The control object: its lifetime, its interfaces, SupBarType and the About box. The dispatch
// side lives in dispatch.cpp, the container side in container.cpp.
#include "windows/control/control.h"

#include <new>

#include "windows/control/about_dialog.h"

namespace quillet::com {

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

}  // namespace quillet::com
