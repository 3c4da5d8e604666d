#pragma once
#include <X11/Xlib.h>

// Xlib reports a protocol error, by default, by ending the process, and a lost connection always
// ends it. Xlib has one error handler for the whole process, so the back end installs its own
// once: protocol errors on the back end's connections are counted per connection for the code
// that made the request to read; errors on any other connection of the process go on to the
// handler that was there before (Xlib's own, which prints them and ends the process, unless the
// program set another). A lost connection ends the process with a message and status 1 at once,
// on whichever thread notices it.
namespace x11 {

// Calls XInitThreads and installs both handlers; once per process, before any connection.
void prepareXlib();

// Starts counting the protocol errors of display, false when too many connections are watched
// already; forget stops it, before the display closes.
bool watchErrors(Display* display);
void forgetErrors(Display* display);

// Waits for the server to have handled every request sent on display, then takes the number of
// protocol errors counted for it since the last call.
int takeErrors(Display* display);

} // namespace x11
