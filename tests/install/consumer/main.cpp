#include <iostream>

#include "control/quillet.h"
#include "surfaces/recording_surface.h"

int main() {
    quillet::Quillet control;
    quillet::RecordingSurface surface;
    std::string code = "CODE39";
    const auto result = control.BarCODE39(&surface, 0, 0, code, 15, 1200, 1, false, "Arial", 0, 0,
                                          "3:1", true);
    std::cout << result << " " << code << "\n";
}
