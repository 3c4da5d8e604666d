#!/usr/bin/env python3
"""The program in its page, in headless Chromium, one case per call:

    page_test.py CASE PAGE_DIR FRAME_REFERENCE PICTURE_DIR OUTPUT_DIR

frame    with the clock held still, the canvas equals the frame the program reports it drew,
         drawn natively by FRAME_REFERENCE (exact, every pixel), and shows a picture and rays
moves    the picture moves; a key ends the program and the page reports status 0
missing  without the pictures the page shows the error box's caption and text, and status 1

The page is served on 127.0.0.1 only; Chromium is driven over its DevTools pipe with the
standard library alone. Every wait is bounded, so a hang fails the case.
"""
import base64
import fcntl
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

FIXED_CLOCK = 100000
WAIT_S = 30


class Browser:
    """Headless Chromium over --remote-debugging-pipe: NUL-separated JSON on fds 3 and 4."""

    def __init__(self, profile):
        to_read, self.to_browser = os.pipe()
        self.from_browser, to_write = os.pipe()

        def wire():
            # Move both ends out of the way first: either may already be 3 or 4.
            high_in = fcntl.fcntl(to_read, fcntl.F_DUPFD, 10)
            high_out = fcntl.fcntl(to_write, fcntl.F_DUPFD, 10)
            os.dup2(high_in, 3)
            os.dup2(high_out, 4)

        binary = shutil.which("chromium") or shutil.which("chromium-browser")
        if not binary:
            raise RuntimeError("no chromium")
        self.process = subprocess.Popen(
            [binary, "--headless=new", "--no-sandbox", "--disable-gpu",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--no-first-run", "--no-default-browser-check", "--mute-audio",
             "--remote-debugging-pipe", "--user-data-dir=" + profile, "--window-size=800,600",
             "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=wire, pass_fds=(3, 4))
        os.close(to_read)
        os.close(to_write)
        self.next_id = 0
        self.buffer = b""
        self.session = None

    def call(self, method, params=None, session=True):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            while b"\0" not in self.buffer:
                chunk = os.read(self.from_browser, 1 << 20)
                if not chunk:
                    raise RuntimeError("chromium closed its pipe")
                self.buffer += chunk
            line, self.buffer = self.buffer.split(b"\0", 1)
            answer = json.loads(line)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer["result"]
        raise RuntimeError(f"{method}: no answer")

    def open(self, url):
        target = self.call("Target.createTarget", {"url": "about:blank"}, session=False)
        attached = self.call("Target.attachToTarget",
                             {"targetId": target["targetId"], "flatten": True}, session=False)
        self.session = attached["sessionId"]
        self.call("Page.navigate", {"url": url})
        self.wait_for("location.href == %s && typeof page == 'object'" % json.dumps(url),
                      "the page")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, what):
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.05)
        raise AssertionError(f"waited {WAIT_S} s for {what}; page: {self.page_state()}")

    def page_state(self):
        return self.evaluate("JSON.stringify({page: page, text: document.body.innerText})")

    def press_key(self):
        key = {"key": "a", "code": "KeyA", "windowsVirtualKeyCode": 65, "text": "a"}
        self.call("Input.dispatchKeyEvent", dict(key, type="keyDown"))
        self.call("Input.dispatchKeyEvent", dict(key, type="keyUp"))

    def canvas_rgb(self):
        """The canvas's pixels as (width, height, bytes R, G, B per pixel)."""
        encoded = self.evaluate("""(() => {
            const c = document.getElementById('canvas');
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let s = '';
            for (let i = 0; i < d.length; i += 0x8000)
                s += String.fromCharCode.apply(null, d.subarray(i, i + 0x8000));
            return JSON.stringify([c.width, c.height, btoa(s)]);
        })()""")
        width, height, data = json.loads(encoded)
        rgba = base64.b64decode(data)
        rgb = bytearray(len(rgba) // 4 * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = rgba[0::4], rgba[1::4], rgba[2::4]
        return width, height, bytes(rgb)

    def close(self):
        try:
            self.call("Browser.close", session=False)
        except Exception:
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def serve(directory):
    handler = functools.partial(QuietHandler, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(b"\n", 3)
    width, height = map(int, parts[1].split())
    return width, height, parts[3]


def case_frame(browser, base, reference, pictures, out):
    browser.open(f"{base}/kelmor.html?clock={FIXED_CLOCK}")
    # From the second frame on, every frame at a clock held still is the same.
    browser.wait_for("page.frame && page.frame.count >= 3", "three frames")
    frame = json.loads(browser.evaluate("JSON.stringify(page.frame)"))
    width, height, shown = browser.canvas_rgb()
    assert (width, height) == (320, 200), f"canvas {width}x{height}, expected 320x200"
    assert frame["clock"] == FIXED_CLOCK, f"frame drawn at {frame['clock']}, expected {FIXED_CLOCK}"
    ppm = os.path.join(out, "reference.ppm")
    subprocess.run([reference, pictures, str(frame["clock"]), repr(frame["radius"]),
                    str(frame["picture"]), ppm], check=True, timeout=WAIT_S)
    _, _, expected = read_ppm(ppm)
    differ = [i for i in range(0, len(expected), 3) if expected[i:i + 3] != shown[i:i + 3]]
    if differ:
        i = differ[0]
        x, y = (i // 3) % 320, (i // 3) // 320
        raise AssertionError(f"{len(differ)} pixels differ from the native frame {frame}; first at "
                             f"({x}, {y}): got {shown[i:i + 3].hex()} expected {expected[i:i + 3].hex()}")
    lit = sum(1 for i in range(0, len(shown), 3) if shown[i:i + 3] != b"\0\0\0")
    # The rays alone light most of the area; the picture covers thousands of pixels more.
    assert lit > 320 * 200 // 4, f"only {lit} pixels are not black"
    print(f"frame {frame}: all {len(expected) // 3} pixels equal, {lit} lit")


def case_moves(browser, base, reference, pictures, out):
    browser.open(f"{base}/kelmor.html")
    browser.wait_for("page.frame && page.frame.count >= 2", "two frames")
    first = json.loads(browser.evaluate("JSON.stringify(page.frame)"))
    _, _, before = browser.canvas_rgb()
    browser.wait_for(f"page.frame.clock >= {first['clock'] + 500}", "half a second of frames")
    later = json.loads(browser.evaluate("JSON.stringify(page.frame)"))
    _, _, after = browser.canvas_rgb()
    assert before != after, "the canvas is the same half a second later"
    assert later["count"] > first["count"], f"no frames drawn: {first} then {later}"
    assert browser.evaluate("document.title") == "Kelmor screensaver"
    browser.press_key()
    status = browser.wait_for("page.status !== null && String(page.status)", "the end")
    assert status == "0", f"status {status} after a key, expected 0"
    line = browser.evaluate("document.getElementById('line').textContent")
    assert line == "Kelmor ended with status 0", f"the page says {line!r}"
    print(f"moved from {first} to {later}; a key ended it with status 0")


def case_missing(browser, base, reference, pictures, out):
    browser.open(f"{base}/kelmor.html?without-pictures")
    status = browser.wait_for("page.status !== null && String(page.status)", "the end")
    assert status == "1", f"status {status}, expected 1"
    text = browser.evaluate("document.body.innerText")
    for expected in ("ptc error", "could not process or load kelmor1.tga",
                     "Kelmor ended with status 1"):
        assert expected in text, f"the page lacks {expected!r}: {text!r}"
    print("the page shows the box and status 1")


def main():
    case, page_dir, reference, pictures, out = sys.argv[1:6]
    run = {"frame": case_frame, "moves": case_moves, "missing": case_missing}[case]
    os.makedirs(out, exist_ok=True)
    server = serve(page_dir)
    profile = tempfile.mkdtemp(prefix="page_test_")
    browser = None
    try:
        browser = Browser(profile)
        run(browser, f"http://127.0.0.1:{server.server_address[1]}", reference, pictures, out)
    except (AssertionError, RuntimeError, subprocess.SubprocessError) as failure:
        print(f"page {case}: FAILED: {failure}")
        return 1
    finally:
        if browser:
            browser.close()
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)
    print(f"page {case}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
