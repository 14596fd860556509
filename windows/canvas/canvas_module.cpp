// The canvas's server: its class factory and what its registration writes, for all users
// (regsvr32) or for the current user only (regsvr32 /n /i:user, through DllInstall).
#include "canvas.h"
#include "windows/server/class_factory.h"
#include "windows/server/server.h"

namespace quillet::com {
namespace {

ClassFactory<&canvas::Canvas::create, &lockModule> factory;

// Registered by the control's registration code, which keeps the keys that the other
// bitness's registration of the canvas still needs.
const ClassEntry serverClasses[] = {
    {&CLSID_Canvas, L"Quillet.Canvas", L"Quillet Canvas", L"Apartment"}};

}  // namespace

const Server& thisServer() {
    static const Server server{CLSID_Canvas, factory, serverClasses};
    return server;
}

}  // namespace quillet::com
