#pragma once
#include "backends/Windowed.h"
#include "backends/x11/Geometry.h"
#include "backends/x11/Image.h"

#include <X11/Xlib.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace x11 {

// One connection to the X server, the window drawn into and the thread that reads its events.
// Everything the event thread touches lives here or in the input it shares, and the thread holds
// a share of both: a thread that does not end within its limit still finds them, and closes the
// connection when it ends.
//
// The application's thread sets the window up while no event thread runs, and presents under
// paintLock; the event thread queues keys and close requests in the input (under its own lock)
// and repaints under paintLock. The two locks are never held together, and neither is held while
// waiting for the other thread. Xlib's own lock (XInitThreads) is taken inside each Xlib call,
// so it nests inside ours, never around them.
class Connection : public std::enable_shared_from_this<Connection> {
  public:
    // How long stopEvents waits for the thread.
    static constexpr int stopLimitMs = 5000;

    // A connection to the server DISPLAY names; null when none answers.
    static std::shared_ptr<Connection> open();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts the thread that reads the window's events; false when it cannot be started.
    bool startEvents();
    // Ends the event thread and joins it, so its share of this object is given back; a close
    // request still pending goes with the window. False when it did not end within stopLimitMs:
    // it then runs on with its share and ends on its own.
    bool stopEvents();
    // Waits up to limitMs for the window to be mapped; whether it is.
    bool waitViewable(int limitMs);
    // Tells the event thread to read events the application's thread has queued meanwhile.
    void nudgeEvents();
    // Puts the last presented image into the window again (an exposure, a move).
    void repaint();

    Display* const display;
    const int screen;
    const Window root;
    Atom protocols, deleteWindow;

    // Set while no event thread runs.
    Window window = 0;
    GC gc = nullptr;
    bool ownsWindow = false; // this connection made the window: its keys are queued
    bool focusOnMap = false; // no window manager: give the full-screen window the keys itself

    // Under paintLock.
    std::mutex paintLock;
    ServerImage image;
    Placement placement;     // where image shows in the window
    int32_t windowWidth = 0; // the window's size as last reported
    int32_t windowHeight = 0;
    bool shown = false; // image holds a presented frame

    // Keys and close requests for the application's thread; set while no event thread runs.
    std::shared_ptr<WindowInput> input;

    std::atomic<bool> gone{false}; // the window was destroyed by someone else

  private:
    Connection(Display* display, int wakeRead, int wakeWrite);
    static void eventMain(std::shared_ptr<Connection> self);
    void readEvents();
    void handle(const XEvent& event);
    void finished();

    const int wakeRead, wakeWrite; // a pipe that wakes the event thread's poll
    std::thread eventThread;       // started and joined by the application's thread

    std::mutex threadLock; // guards the fields below
    std::condition_variable threadChanged;
    bool running = false;
    bool stopping = false;
    bool viewable = false;
};

} // namespace x11
