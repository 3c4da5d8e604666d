#pragma once
#include <X11/Xlib.h>

// Xlib reports a protocol error, by default, by ending the process, and a lost connection always
// ends it. The back end installs its own handlers once for the whole process: protocol errors
// are counted per connection for the code that made the request to read, and a lost connection
// ends the process with a message and status 1 at once, on whichever thread notices it.
namespace x11 {

// Calls XInitThreads and installs both handlers; once per process, before any connection.
void prepareXlib();

// Starts counting the protocol errors of display; forget stops it, before the display closes.
void watchErrors(Display* display);
void forgetErrors(Display* display);

// Waits for the server to have handled every request sent on display, then takes the number of
// protocol errors counted for it since the last call.
int takeErrors(Display* display);

} // namespace x11
