// The control's test client: one part of the checks per run, named on the command line.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "client.h"

IDispatch* client::createControl() {
    return createByProgId(L"QUILLETPRO.Quillet");
}

int main(int argc, char** argv) {
    using namespace client;
    if (argc < 2) {
        std::printf(
            "usage: quillet_com_client "
            "registered|unregistered|user-registered|registration-free|typelib|trace FILE|"
            "robustness|container|about FILE\n");
        return 64;
    }
    // Traces are compared byte for byte with the host's: no CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    OleInitialize(nullptr);
    const std::string part = argv[1];
    if (part == "registered")
        checkRegistry(true);
    else if (part == "unregistered")
        checkRegistry(false);
    else if (part == "user-registered")
        checkUserRegistration();
    else if (part == "registration-free")
        checkRegistrationFree();
    else if (part == "typelib")
        walkTypeLibrary();
    else if (part == "trace" && argc > 2)
        traceCases(argv[2]);
    else if (part == "robustness")
        checkRobustness();
    else if (part == "container")
        checkContainer();
    else if (part == "about" && argc > 2)
        checkAboutBox(argv[2]);
    else {
        std::printf("unknown part %s\n", part.c_str());
        return 64;
    }
    OleUninitialize();
    std::fflush(stdout);
    return failures() == 0 ? 0 : 1;
}
