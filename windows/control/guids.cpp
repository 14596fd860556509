// The GUIDs of the type library, defined once for the whole module: with initguid.h first, the
// generated header's declarations become definitions.
#include <initguid.h>
#include <windows.h>

#include "quillet_com.h"
// MinGW's uuid library lacks the script engines' interface.
#include <dispex.h>
