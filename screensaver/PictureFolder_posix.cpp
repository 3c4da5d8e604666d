#include "platform/Platform.h"
#include "screensaver/PictureFrames.h"

#include <cstring>
#include <string>

// Installed, the program is PREFIX/libexec/xscreensaver/kelmor and the pictures are in
// PREFIX/share/kelmor: found from the program's own folder, so any prefix works
// (KELMOR_PICTURES_FROM_PROGRAM is that relative path, from the build's install layout).
uint32_t packagePictureDirectory(char* buffer, uint32_t size) {
    std::string folder(platform::systemDirectory(nullptr, 0), '\0');
    const uint32_t length = platform::systemDirectory(folder.data(), uint32_t(folder.size()));
    if (length == 0 || length >= folder.size()) return 0;
    folder.resize(length);
    if (folder.back() != '/') folder += '/';
    folder += KELMOR_PICTURES_FROM_PROGRAM;
    if (!buffer || size <= folder.size()) return uint32_t(folder.size() + 1);
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return uint32_t(folder.size());
}
