#pragma once
#include "backends/Interface.h"
#include "platform/Platform.h"

// Makes candidate back end number index of this platform (0 full screen, 1 window, 2 VESA,
// 3 VGA); null ends a search. window is a null handle when the back end is to make its own
// window. Each platform's build links one definition.
Interface* interfaceFactory(int index, WindowHandle& window);

// The name candidate number index writes through its name operation, known without constructing
// it: a search for another name passes it by, and constructing one can have lasting effects (the
// DirectDraw back end loads ddraw.dll and raises the process's priority). Null past the last
// candidate.
const char* interfaceName(int index);
