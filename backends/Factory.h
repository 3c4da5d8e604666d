#pragma once
#include "backends/Interface.h"
#include "platform/Platform.h"

// Makes candidate back end number index of this platform (0 full screen, 1 window, 2 VESA,
// 3 VGA); null ends a search. window is a null handle when the back end is to make its own
// window. Each platform's build links one definition.
Interface* interfaceFactory(int index, WindowHandle& window);
