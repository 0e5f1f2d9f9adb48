"""Headless Chromium driven over the DevTools protocol on a pipe.

The browser gets no debugging port: commands go over file descriptors 3 and 4
(``--remote-debugging-pipe``), so nothing listens on the network. Host names
resolve to nothing, so a page that tried to fetch anything would fail.
"""

import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time


def chromium_path():
    """Return the Chromium executable, or None when it is not installed."""
    direct = "/usr/lib/chromium/chromium"
    return direct if os.access(direct, os.X_OK) else shutil.which("chromium")


class Browser:
    """One headless Chromium process and one page in it."""

    def __init__(self, timeout=60.0):
        self.timeout = timeout
        self.profile = tempfile.mkdtemp(prefix="hdfe-chromium-")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        # The child must see the two pipe ends as fds 3 and 4. Moved above 10
        # first, so that placing one cannot overwrite the other.
        high = [fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in (to_browser_r, from_browser_w)]
        os.close(to_browser_r)
        os.close(from_browser_w)
        def place_fds():
            os.dup2(high[0], 3)
            os.dup2(high[1], 4)
        self.proc = subprocess.Popen(
            [chromium_path(), "--headless", "--no-sandbox", "--disable-gpu",
             "--remote-debugging-pipe", "--user-data-dir=" + self.profile,
             "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--disable-extensions",
             "--disable-dev-shm-usage", "--host-resolver-rules=MAP * ~NOTFOUND",
             "--window-size=1280,900", "about:blank"],
            # Python's own descriptors are not inheritable, so only 3 and 4 pass.
            preexec_fn=place_fds, close_fds=False,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        for fd in high:
            os.close(fd)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        targets = self.call("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.call("Target.attachToTarget", targetId=page["targetId"],
                                 flatten=True)["sessionId"]
        for domain in ("Page", "Network", "Runtime", "Log"):
            self.call(domain + ".enable", session=True)

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self._from_browser], [], [], left)[0]:
                raise TimeoutError("no answer from Chromium")
            chunk = os.read(self._from_browser, 1 << 16)
            if not chunk:
                raise RuntimeError("Chromium closed the pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=False, **params):
        """Send one command and return its result; events seen meanwhile are kept."""
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = self.session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + self.timeout
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]
            if "method" in reply:
                self.events.append(reply)

    def open(self, path):
        """Load a local file and wait for its load event; forget older events."""
        self.events = []
        url = "file://" + os.path.abspath(path)
        self.call("Page.navigate", session=True, url=url)
        deadline = time.monotonic() + self.timeout
        while not any(e["method"] == "Page.loadEventFired" for e in self.events):
            message = self._read_message(deadline)
            if "method" in message:
                self.events.append(message)
            if message.get("method") == "Page.javascriptDialogOpening":
                # A dialog would stall the page; dismiss it, and count it as an error.
                os.write(self._to_browser, json.dumps({
                    "id": 0, "sessionId": self.session, "method": "Page.handleJavaScriptDialog",
                    "params": {"accept": False}}).encode() + b"\0")
        return url

    def evaluate(self, expression):
        """Evaluate a JavaScript expression in the page and return its value."""
        result = self.call("Runtime.evaluate", session=True, expression=expression,
                           returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(result["exceptionDetails"])
        return result["result"].get("value")

    def requested_urls(self):
        """URLs the page asked for since it was opened."""
        return [e["params"]["request"]["url"] for e in self.events
                if e["method"] == "Network.requestWillBeSent"]

    def console_errors(self):
        """Console errors, uncaught exceptions and error log entries since opening."""
        errors = []
        for e in self.events:
            p = e.get("params", {})
            if e["method"] == "Runtime.exceptionThrown":
                errors.append(p["exceptionDetails"].get("text"))
            elif e["method"] == "Runtime.consoleAPICalled" and p["type"] in ("error", "assert"):
                errors.append(str(p.get("args")))
            elif e["method"] == "Log.entryAdded" and p["entry"]["level"] == "error":
                errors.append(p["entry"].get("text"))
            elif e["method"] == "Page.javascriptDialogOpening":
                errors.append("dialog: " + p.get("message", ""))
        return errors

    def screenshot(self):
        """Return a PNG of the whole page, beyond the window's height."""
        size = self.call("Page.getLayoutMetrics", session=True)["cssContentSize"]
        clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"], "scale": 1}
        data = self.call("Page.captureScreenshot", session=True, format="png",
                         captureBeyondViewport=True, clip=clip)["data"]
        return base64.b64decode(data)

    def close(self):
        """Ask the browser to quit, and stop it if it does not."""
        try:
            self.call("Browser.close")
        except (RuntimeError, OSError, TimeoutError):
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self._to_browser)
        os.close(self._from_browser)
        shutil.rmtree(self.profile, ignore_errors=True)
