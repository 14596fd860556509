// A real container sites the control: Wine's ATL host creates it by ProgID in a window.
#include "client.h"

namespace client {
namespace {

class PropertySink final : public IPropertyNotifySink {
  public:
    virtual ~PropertySink() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyNotifySink) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID member) override {
        changes.push_back(member);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return S_OK; }
    std::vector<DISPID> changes;
};

void putSupBarType(IDispatch* control, LONG value) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    std::vector<VARIANT> arguments = {argument};
    invokeByName(control, L"SupBarType", DISPATCH_PROPERTYPUT, arguments, nullptr, nullptr);
}

template <class Interface>
Interface* query(IUnknown* object, REFIID iid) {
    Interface* result = nullptr;
    object->QueryInterface(iid, reinterpret_cast<void**>(&result));
    return result;
}

}  // namespace

void checkContainer() {
    HMODULE atl = LoadLibraryW(L"atl.dll");
    check(atl != nullptr, "atl.dll");
    if (atl == nullptr) return;
    using WinInit = BOOL(WINAPI*)();
    using CreateControl =
        HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**, REFIID, IUnknown*);
    auto winInit =
        reinterpret_cast<WinInit>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
    auto createControl = reinterpret_cast<CreateControl>(
        reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxCreateControlEx")));
    check(winInit && createControl, "ATL hosting functions");
    if (!winInit || !createControl) return;
    winInit();

    HWND window = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    IUnknown* site = nullptr;
    IUnknown* unknown = nullptr;
    check(createControl(L"QUILLETPRO.Quillet", window, nullptr, &site, &unknown, IID_NULL,
                        nullptr) == S_OK &&
              unknown != nullptr,
          "AtlAxCreateControlEx sites the control by ProgID");
    if (unknown == nullptr) return;

    IOleObject* ole = query<IOleObject>(unknown, IID_IOleObject);
    check(ole != nullptr, "IOleObject");
    IOleClientSite* clientSite = nullptr;
    if (ole != nullptr) ole->GetClientSite(&clientSite);
    check(clientSite != nullptr, "the container set its client site");
    if (clientSite != nullptr) clientSite->Release();

    // 600 twips is 1058 HIMETRIC, whatever the container asks for.
    auto extentIsFixed = [&](const char* after) {
        SIZEL size{};
        check(ole != nullptr && ole->GetExtent(DVASPECT_CONTENT, &size) == S_OK &&
                  size.cx == 1058 && size.cy == 1058,
              std::string("600 x 600 twips after ") + after + ": " + std::to_string(size.cx) +
                  " x " + std::to_string(size.cy));
    };
    extentIsFixed("siting");
    MoveWindow(window, 10, 10, 640, 480, TRUE);
    extentIsFixed("the container's window is resized");
    SIZEL requested{5000, 300};
    if (ole != nullptr) ole->SetExtent(DVASPECT_CONTENT, &requested);
    extentIsFixed("SetExtent 5000 x 300");
    IOleInPlaceObject* inPlace = query<IOleInPlaceObject>(unknown, IID_IOleInPlaceObject);
    if (inPlace != nullptr) {
        const RECT rect{0, 0, 17, 900};
        inPlace->SetObjectRects(&rect, &rect);
        inPlace->Release();
    }
    extentIsFixed("SetObjectRects");

    IDispatch* control = query<IDispatch>(unknown, IID_IDispatch);
    IConnectionPointContainer* points =
        query<IConnectionPointContainer>(unknown, IID_IConnectionPointContainer);
    check(points != nullptr, "IConnectionPointContainer");
    PropertySink sink;
    IConnectionPoint* notify = nullptr;
    DWORD cookie = 0;
    if (points != nullptr) {
        check(points->FindConnectionPoint(IID_IPropertyNotifySink, &notify) == S_OK,
              "property notification point");
        IConnectionPoint* events = nullptr;
        check(points->FindConnectionPoint(DIID___Quillet, &events) == S_OK, "event point");
        if (events != nullptr) events->Release();
    }
    if (notify != nullptr && control != nullptr) {
        check(notify->Advise(&sink, &cookie) == S_OK, "Advise");
        putSupBarType(control, 7);
        check(sink.changes.size() == 1 && sink.changes[0] == 0x68030000,
              "SupBarType change notified");
        notify->Unadvise(cookie);
        putSupBarType(control, 8);
        check(sink.changes.size() == 1, "no notification after Unadvise");
        notify->Release();
    }
    if (points != nullptr) points->Release();

    IProvideClassInfo2* classInfo = query<IProvideClassInfo2>(unknown, IID_IProvideClassInfo2);
    check(classInfo != nullptr, "IProvideClassInfo2");
    if (classInfo != nullptr) {
        GUID source{};
        check(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) == S_OK &&
                  source == DIID___Quillet,
              "default source is __Quillet");
        ITypeInfo* info = nullptr;
        check(classInfo->GetClassInfo(&info) == S_OK, "class type information");
        if (info != nullptr) info->Release();
        classInfo->Release();
    }

    IPersistStreamInit* stream = query<IPersistStreamInit>(unknown, IID_IPersistStreamInit);
    IPersistPropertyBag* bag = query<IPersistPropertyBag>(unknown, IID_IPersistPropertyBag);
    IOleControl* oleControl = query<IOleControl>(unknown, IID_IOleControl);
    check(stream != nullptr && stream->IsDirty() == S_FALSE, "IPersistStreamInit, never dirty");
    check(bag != nullptr && bag->InitNew() == S_OK, "IPersistPropertyBag");
    check(oleControl != nullptr, "IOleControl");
    if (stream != nullptr) stream->Release();
    if (bag != nullptr) bag->Release();
    if (oleControl != nullptr) oleControl->Release();

    IViewObject2* view = query<IViewObject2>(unknown, IID_IViewObject2);
    check(view != nullptr, "IViewObject2");
    if (view != nullptr) {
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 40);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        const RECTL bounds{0, 0, 40, 40};
        check(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr,
                         nullptr, 0) == S_OK,
              "IViewObject2::Draw");
        check(
            GetPixel(memory, 0, 0) == RGB(0, 0, 0) && GetPixel(memory, 1, 1) == RGB(255, 255, 255),
            "the square is framed and white inside");
        SIZEL size{};
        check(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &size) == S_OK && size.cx == 1058,
              "view extent");
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        view->Release();
    }
    if (control != nullptr) control->Release();
    if (ole != nullptr) ole->Release();
    unknown->Release();
    DestroyWindow(window);
    if (site != nullptr) site->Release();
}

}  // namespace client
