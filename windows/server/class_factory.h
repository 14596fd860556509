// The class factory of one creatable class of an in-process server. It is a static object, so
// its references are module locks: a client that holds it keeps the DLL loaded.
#pragma once

#include <unknwn.h>
#include <windows.h>

namespace quillet::com {

template <HRESULT (*create)(REFIID, void**), void (*lockModule)(bool) noexcept>
class ClassFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        lockModule(true);
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        lockModule(false);
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return create(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lockModule(lock != FALSE);
        return S_OK;
    }
};

}  // namespace quillet::com
