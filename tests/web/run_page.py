#!/usr/bin/env python3
"""Runs the web build's pages, served on 127.0.0.1 only:

    run_page.py serve PAGE_DIR              prints the address and serves until interrupted
    run_page.py show PAGE_DIR OUT_DIR       in headless Chromium: three screenshots of
                                            kelmor.html a second apart (OUT_DIR/screensaver-N.png),
                                            then a key; exits with the program's status
    run_page.py bench PAGE_DIR NAME [ARG...] in headless Chromium: NAME.html's printed tables,
                                            once the program has ended
"""
import base64
import json
import os
import shutil
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import page_test  # noqa: E402


def show(browser, base, out):
    browser.open(f"{base}/kelmor.html")
    browser.wait_for("page.frame && page.frame.count >= 2", "the first frames")
    sample = "JSON.stringify([page.frame.count, Module.ptcWaitedMs, performance.now()])"
    before = json.loads(browser.evaluate(sample))
    for n in (1, 2, 3):
        shot = browser.call("Page.captureScreenshot", {"format": "png"})
        path = os.path.join(out, f"screensaver-{n}.png")
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        print(f"screenshot: {path}")
        time.sleep(1)
    # The program's own figures: frames drawn, and the time it kept the page's thread (all
    # but the time its presentations waited for the browser's next animation frame).
    after = json.loads(browser.evaluate(sample))
    frames, waited, elapsed = (b - a for a, b in zip(before, after))
    print(f"{frames / elapsed * 1e3:.1f} frames/s, {(elapsed - waited) / frames:.3f} ms of the "
          f"page's thread per frame")
    browser.press_key()
    print("pressed a key")
    status = browser.wait_for("page.status !== null && String(page.status)", "the end")
    line = browser.evaluate("document.getElementById('line').textContent")
    print(f"the page says: {line}")
    return int(status)


def bench(browser, base, name, arguments):
    query = urllib.parse.urlencode([("arg", a) for a in arguments])
    browser.open(f"{base}/{name}.html" + (f"?{query}" if query else ""))
    page_test.WAIT_S = float(os.environ.get("PTC_BENCH_LIMIT_S", "900"))
    try:
        status = browser.wait_for("page.status !== null && String(page.status)", "the end")
    finally:
        print(browser.evaluate("document.getElementById('output').textContent"), end="")
    return int(status)


def main():
    mode, page_dir = sys.argv[1:3]
    server = page_test.serve(page_dir)
    base = f"http://127.0.0.1:{server.server_address[1]}"
    if mode == "serve":
        print(f"serving {page_dir} at {base}/kelmor.html (Ctrl-C ends)", flush=True)
        try:
            while True:
                time.sleep(3600)
        except KeyboardInterrupt:
            return 0
    profile = tempfile.mkdtemp(prefix="run_page_")
    browser = page_test.Browser(profile)
    try:
        if mode == "show":
            return show(browser, base, sys.argv[3])
        return bench(browser, base, sys.argv[3], sys.argv[4:])
    finally:
        browser.close()
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
