#!/usr/bin/env python3
"""Opens a page in headless Chromium, waits for a console line, then saves a
screenshot of the 1024 x 600 viewport and prints every console line.

    python3 scripts/browser-run.py URL LINE SCREENSHOT.png [SECONDS]

Talks to the browser over the DevTools protocol on a pipe (no port, no
network): the page runs in real time, so the frame rate it measures is the
browser's own. Exit status 1 when LINE does not appear within SECONDS
(default 300), counted from the start, or the browser fails: every wait on
the browser has that deadline, so a browser that hangs silently cannot hold
the run past it."""
import base64
import fcntl
import json
import os
import select
import subprocess
import sys
import tempfile
import time

FLAGS = [
    "--headless", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--no-first-run", "--disable-background-networking", "--disable-component-update",
    "--disable-sync", "--disable-quic", "--window-size=1024,600", "--hide-scrollbars",
]


# After LINE, the screenshot and the browser's closing get this much more.
GRACE_SECONDS = 30.0


class BrowserTimeout(Exception):
    pass


class Browser:
    def __init__(self, profile, deadline):
        self.deadline = deadline  # time.monotonic() value no wait goes past
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # The browser reads commands on descriptor 3 and answers on 4; the
        # pipe ends are moved above both first so that no redirection
        # overwrites the other's source.
        reader = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD_CLOEXEC, 10)
        writer = fcntl.fcntl(from_browser_w, fcntl.F_DUPFD_CLOEXEC, 10)
        for fd in (to_browser_r, from_browser_w):
            os.close(fd)
        self.process = subprocess.Popen(
            ["chromium", *FLAGS, f"--user-data-dir={profile}", "--remote-debugging-pipe",
             "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=False, preexec_fn=lambda: (os.dup2(reader, 3), os.dup2(writer, 4)))
        os.close(reader)
        os.close(writer)
        self.next_id = 0
        self.pending = b""
        self.events = []

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        return self.next_id

    def receive(self):
        while b"\0" not in self.pending:
            left = self.deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_browser], [], [], left)[0]:
                raise BrowserTimeout()
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser closed the pipe")
            self.pending += chunk
        message, self.pending = self.pending.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None):
        wanted = self.send(method, params, session)
        while True:
            message = self.receive()
            if message.get("id") == wanted:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.events.append(message)


def console_text(event):
    args = event["params"].get("args", [])
    return " ".join(str(a.get("value", a.get("description", ""))) for a in args)


def main():
    url, line, screenshot = sys.argv[1], sys.argv[2], sys.argv[3]
    seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 300.0
    deadline = time.monotonic() + seconds
    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(profile, deadline)
        timed_out = found = False
        try:
            target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
            session = browser.call("Target.attachToTarget",
                                   {"targetId": target, "flatten": True})["sessionId"]
            browser.call("Emulation.setDeviceMetricsOverride",
                         {"width": 1024, "height": 600, "deviceScaleFactor": 1, "mobile": False},
                         session)
            browser.call("Runtime.enable", None, session)
            browser.call("Page.enable", None, session)
            browser.call("Page.navigate", {"url": url}, session)
            while not found:
                event = browser.events.pop(0) if browser.events else browser.receive()
                if event.get("method") == "Runtime.consoleAPICalled":
                    text = console_text(event)
                    print(text, flush=True)
                    found = text == line
                elif event.get("method") == "Runtime.exceptionThrown":
                    print("exception:", event["params"]["exceptionDetails"].get("text"), flush=True)
            browser.deadline = time.monotonic() + GRACE_SECONDS
            shot = browser.call("Page.captureScreenshot", {"format": "png"}, session)
            with open(screenshot, "wb") as f:
                f.write(base64.b64decode(shot["data"]))
            return 0
        except BrowserTimeout:
            timed_out = True
            if found:
                print(f"browser-run: no screenshot within {GRACE_SECONDS:.0f} s", file=sys.stderr)
            else:
                print(f"browser-run: no \"{line}\" within {seconds:.0f} s", file=sys.stderr)
            return 1
        finally:
            # A browser that let the deadline pass is not asked to close.
            closed = False
            if not timed_out:
                try:
                    browser.send("Browser.close")
                    browser.process.wait(timeout=10)
                    closed = True
                except Exception:
                    pass
            if not closed:
                browser.process.kill()
                browser.process.wait()


if __name__ == "__main__":
    sys.exit(main())
