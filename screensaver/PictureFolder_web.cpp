#include "screensaver/PictureFrames.h"

// The page carries the pictures in its own file system, found in the working folder.
uint32_t packagePictureDirectory(char*, uint32_t) {
    return 0;
}
