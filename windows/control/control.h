// The COM face of the Quillet control: the dual interface _Quillet and what a container needs to
// site it. Every drawing call is handed to the portable quillet::Quillet.
#pragma once

#include <ocidl.h>

#include <vector>

#include "control/quillet.h"
#include "windows/control/com_shell.h"

namespace quillet::com {

class Control;

// One outgoing interface of the control: the empty event interface __Quillet, or
// IPropertyNotifySink for the "SupBarType" change notification.
class ConnectionPoint final : public IConnectionPoint {
  public:
    ConnectionPoint(Control& owner, REFIID iid) noexcept : owner_(owner), iid_(iid) {}
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    const std::vector<IUnknown*>& sinks() const noexcept { return sinks_; }

  private:
    Control& owner_;
    IID iid_;
    std::vector<IUnknown*> sinks_;  // index + 1 is the cookie; released slots are null
};

class Control final : public _Quillet,
                      public IOleObject,
                      public IOleControl,
                      public IOleInPlaceObject,
                      public IPersistStreamInit,
                      public IPersistPropertyBag,
                      public IProvideClassInfo2,
                      public IConnectionPointContainer,
                      public IViewObject2 {
  public:
    // What a container reads from GetMiscStatus and from the registry.
    static constexpr DWORD miscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                        OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                        OLEMISC_SETCLIENTSITEFIRST;

    static constexpr DISPID supBarTypeId = 0x68030000;

    static HRESULT create(REFIID iid, void** object);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* dispids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // _Quillet
    HRESULT STDMETHODCALLTYPE put_SupBarType(::tBarcodeType* value) override;
    HRESULT STDMETHODCALLTYPE get_SupBarType(::tBarcodeType* value) override;
    HRESULT STDMETHODCALLTYPE ShowAboutBox() override;
#define QUILLET_DRAWING_METHOD(name)                                                           \
    HRESULT STDMETHODCALLTYPE name(                                                            \
        IDispatch** pObject, float* pX, float* pY, BSTR* pCode, short* pWidth, short* pHeight, \
        short* pText, VARIANT_BOOL* pBold, BSTR* pFont, LONG* pForeColor, LONG* pLineColor,    \
        BSTR* pRatio, VARIANT_BOOL* pChk, short* result) override;
    QUILLET_DRAWING_METHOD(BarUPCAPlus)
    QUILLET_DRAWING_METHOD(BarCODABAR)
    QUILLET_DRAWING_METHOD(BarCODE11)
    QUILLET_DRAWING_METHOD(BarCODE25)
    QUILLET_DRAWING_METHOD(BarCODE39)
    QUILLET_DRAWING_METHOD(BarCODE39F)
    QUILLET_DRAWING_METHOD(BarISBN)
    QUILLET_DRAWING_METHOD(BarMSI)
    QUILLET_DRAWING_METHOD(BarPOSTNET)
    QUILLET_DRAWING_METHOD(BarCODE93)
    QUILLET_DRAWING_METHOD(BarEAN13)
    QUILLET_DRAWING_METHOD(BarCODE128)
    QUILLET_DRAWING_METHOD(BarEAN8)
    QUILLET_DRAWING_METHOD(BarUPCA)
    QUILLET_DRAWING_METHOD(BarUPCE)
#undef QUILLET_DRAWING_METHOD

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** data) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND,
                                     LPCRECT) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* name) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override {
        return E_NOTIMPL;
    }

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL) override {
        return S_OK;
    }

    // IOleInPlaceObject (IOleWindow)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override {
        return E_NOTIMPL;
    }

    // IPersistStreamInit and IPersistPropertyBag: nothing is saved or read.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag*, IErrorLog*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override {
        return S_OK;
    }

    // IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IViewObject2: the small square a container shows at design time.
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC target,
                                   LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                   ULONG_PTR) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                          LOGPALETTE**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override;

  private:
    Control();
    ~Control();

    // Draws through the portable control; the failure number is set when the call fails
    // towards the caller instead of returning a result. lineColor is the caller's pLineColor
    // variable, handed on to the surface's "Line" for every bar.
    HRESULT draw(tBarcodeType type, IDispatch* object, LONG* lineColor, DrawingArguments& arguments,
                 std::int16_t& result, std::int32_t& failure) noexcept;
    HRESULT drawByVtable(tBarcodeType type, IDispatch** pObject, float* pX, float* pY, BSTR* pCode,
                         short* pWidth, short* pHeight, short* pText, VARIANT_BOOL* pBold,
                         BSTR* pFont, LONG* pForeColor, LONG* pLineColor, BSTR* pRatio,
                         VARIANT_BOOL* pChk, short* result) noexcept;
    HRESULT invokeDrawing(tBarcodeType type, LCID locale, DISPPARAMS* parameters, VARIANT* result,
                          EXCEPINFO* exception, UINT* argumentError) noexcept;
    HRESULT setSupBarType(std::int64_t value, std::int32_t& failure) noexcept;
    void notifyChanged(DISPID member);
    SIZEL extentInHimetric() const noexcept;

    LONG references_ = 1;
    Quillet quillet_;
    IOleClientSite* site_ = nullptr;
    IOleAdviseHolder* adviseHolder_ = nullptr;
    IAdviseSink* viewSink_ = nullptr;
    ConnectionPoint events_;
    ConnectionPoint propertyNotify_;
};

}  // namespace quillet::com
