// A drawing object of the caller's own, reached by the control through late binding: it records
// every call as `quillet trace` writes it, and checks that each argument arrives with the type a
// VB host's drawing object receives.
#pragma once

#include "client.h"

namespace client {

class RecordingDispatch final : public IDispatch {
  public:
    RecordingDispatch() = default;
    virtual ~RecordingDispatch() = default;

    // The member fails on its nth call with DISP_E_EXCEPTION carrying the run-time number.
    void failAt(const wchar_t* member, std::int32_t number, int call = 1);
    // The member is unknown to GetIDsOfNames, as on an object that lacks it.
    void lack(const wchar_t* member) { lacking_ = member; }
    // "Line" writes this value through the colour of the first bar it receives by reference.
    void recolourFirstBar(LONG color) {
        recolour_ = true;
        recolourTo_ = color;
    }
    // The bars' colours as received by reference: how many, and the variable of the last one.
    int barsByReference() const noexcept { return barsByReference_; }
    const LONG* barColorVariable() const noexcept { return barColorVariable_; }

    const std::string& trace() const noexcept { return trace_; }
    void clear() { trace_.clear(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override;

    ULONG references() const noexcept { return references_; }
    int lookups() const noexcept { return lookups_; }

  private:
    ULONG references_ = 1;
    int lookups_ = 0;
    std::int16_t fontSize_ = 0;
    std::string trace_;
    std::wstring lacking_;
    DISPID failingMember_ = DISPID_UNKNOWN;
    std::int32_t failingNumber_ = 0;
    int callsUntilFailure_ = 0;
    bool recolour_ = false;
    LONG recolourTo_ = 0;
    int barsByReference_ = 0;
    const LONG* barColorVariable_ = nullptr;
};

}  // namespace client
