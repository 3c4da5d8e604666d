#include "screensaver/PictureFrames.h"

// The INF installs the pictures into the Windows directory, which is searched first.
uint32_t packagePictureDirectory(char*, uint32_t) {
    return 0;
}
