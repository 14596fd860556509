// The earlier place of this header, kept for code that includes it from there.
#pragma once

#include "surfaces/cairo/cairo_surface.h"
