// Placeholders until the numeric symbologies are drawn: a clear "not supported" result, never 0.
#include "symbologies/symbologies.h"

namespace quillet {

std::int16_t drawCodabar(const Arguments&) { return error::notImplemented; }
std::int16_t drawCode11(const Arguments&) { return error::notImplemented; }
std::int16_t drawCode25(const Arguments&) { return error::notImplemented; }
std::int16_t drawMsi(const Arguments&) { return error::notImplemented; }
std::int16_t drawPostnet(const Arguments&) { return error::notImplemented; }

}  // namespace quillet
