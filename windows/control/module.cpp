// The control's server (its class factory and registration) and the helpers the shell shares.
#include <new>

#include "render/errors.h"
#include "windows/control/com_shell.h"
#include "windows/control/control.h"
#include "windows/control/resource_ids.h"
#include "windows/server/class_factory.h"
#include "windows/server/server.h"

namespace quillet::com {

namespace {

constexpr const wchar_t* progId = L"QUILLETPRO.Quillet";
constexpr const wchar_t* className = L"Quillet Control";

ClassFactory<&Control::create, &lockModule> factory;

const ClassEntry serverClasses[] = {{&CLSID_Quillet, progId, className, L"Apartment", true,
                                     QUILLET_TOOLBOX_BITMAP, Control::miscStatus}};

}  // namespace

const Server& thisServer() {
    static const Server server{CLSID_Quillet, factory, serverClasses};
    return server;
}

HRESULT loadTypeLibrary(ITypeLib** library) {
    return LoadTypeLibEx(ownModulePath().c_str(), REGKIND_NONE, library);
}

BSTR allocateBstr(std::string_view utf8) {
    const std::wstring wide = toUtf16(utf8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::int32_t runtimeNumberOf(HRESULT result, const EXCEPINFO* exception) noexcept {
    const HRESULT reported = result;
    if (result == DISP_E_EXCEPTION && exception != nullptr) {
        if (exception->wCode != 0) return exception->wCode;
        if (exception->scode != 0) result = exception->scode;
    }
    // A failure that names no number (an empty EXCEPINFO, or error 0) must not pass for
    // success: it is reported by its HRESULT, like any other automation error.
    if (HRESULT_FACILITY(result) == FACILITY_CONTROL && HRESULT_CODE(result) == 0)
        return static_cast<std::int32_t>(reported);
    switch (result) {
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_UNKNOWNNAME:
            return error::noSuchMember;
        case DISP_E_TYPEMISMATCH:
            return error::typeMismatch;
        case DISP_E_OVERFLOW:
            return error::overflow;
        case DISP_E_DIVBYZERO:
            return error::divisionByZero;
        case DISP_E_BADPARAMCOUNT:
            return 450;  // "Wrong number of arguments"
        case DISP_E_PARAMNOTOPTIONAL:
            return 449;  // "Argument not optional"
        case E_OUTOFMEMORY:
            return 7;  // "Out of memory"
        default:
            break;
    }
    if (HRESULT_FACILITY(result) == FACILITY_CONTROL) return HRESULT_CODE(result);
    // Any other failure is reported with the HRESULT itself as its number, which does not fit
    // a 16-bit result: the drawing call then fails with an overflow, as in a VB host.
    return static_cast<std::int32_t>(result);
}

HRESULT reportRuntimeError(std::int32_t number) {
    setErrorInfo(IID__Quillet, progId, toUtf16(describeError(number)));
    return runtimeErrorResult(number);
}

void fillException(EXCEPINFO* exception, std::int32_t number) {
    if (exception == nullptr) return;
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(progId);
    exception->bstrDescription = allocateBstr(describeError(number));
    exception->scode = runtimeErrorResult(number);
}

}  // namespace quillet::com
