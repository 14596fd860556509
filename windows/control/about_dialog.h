// frmAbout: the modal About dialog of ShowAboutBox.
#pragma once

namespace quillet::com {

// Creates a fresh dialog, shows it modally until cmdOK (or the close box) ends it, and releases
// it. A dialog that cannot be shown is a RuntimeError with the system's error number.
void showAboutDialog();

}  // namespace quillet::com
