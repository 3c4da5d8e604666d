// Conversion sits below the surfaces: this must not compile against the conversion layer alone.
#include "display/Surface.h"

int main() {
    return 0;
}
