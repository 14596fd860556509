// The clear space each symbology's standard asks for beside its bars, in modules.
#pragma once

#include "control/quillet.h"

namespace quillet::assist {

struct QuietZoneModules {
    double left;
    double right;
};

QuietZoneModules quietZone(Symbology type) noexcept;

}  // namespace quillet::assist
