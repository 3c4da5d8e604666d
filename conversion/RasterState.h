#pragma once
#include <cstdint>

// The shared state behind RASTER's instance count, for the tests that watch it live and die.

namespace conversion {

void acquireTables();
void releaseTables(); // at count 0 it does nothing
int32_t instanceCount();
bool tablesBuilt();
// How often the tables have been built since the program started.
int32_t tableBuilds();

} // namespace conversion
