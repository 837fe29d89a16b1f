#!/usr/bin/python3
"""The station's web view in a real browser: Debian's Chromium driven through chromium-driver by
Debian's python3-selenium, against the real padsmith on a simulated line.

usage: station_web_browser_test.py PADSMITH WORK_DIR

One station serves three ports: 1-1.1 writes its display (14.5 s), 1-1.2's displays refuse a
record (its operator swaps each at once), so that the port goes out of service after two failures
in a row, 1-1.3's display arrives 6 s in with a serial number that is HTML and script. The page
must follow it without a reload, show that serial as text, and the history page must filter its
runs. /metrics must pass Prometheus's promtool. A station listening beyond loopback must refuse
data to a request without its token. Chromium, its driver or promtool missing is a failure."""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

PADSMITH, WORK = sys.argv[1], sys.argv[2]
CHROMIUM, DRIVER, PROMTOOL = "/usr/bin/chromium", "/usr/bin/chromedriver", shutil.which("promtool")
HOSTILE = "<img src=x onerror=window.__pwned=1><script>window.__pwned=2</script>"
REFUSED = "failed: write record 0x0100: the display refused report 0x28"


def start_station(simulate, *options):
    """A station in the background, and the address of its page (from its stderr)."""
    err = tempfile.TemporaryFile(mode="w+", dir=WORK)
    process = subprocess.Popen([PADSMITH, "--simulate=" + simulate, "station", IMAGE, *options],
                               stdout=subprocess.DEVNULL, stderr=err)
    process.err = err
    for _ in range(200):
        err.seek(0)
        text = err.read()
        if "the station's page: " in text:
            return process, text.split("the station's page: ")[1].split()[0].rstrip("/")
        if process.poll() is not None:
            err.close()
            raise AssertionError("the station ended: " + text)
        time.sleep(0.05)
    raise AssertionError("the station told no address")


def stop(process):
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    process.err.close()


def get(url, headers=None):
    try:
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}), timeout=10) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as refused:
        return refused.code, refused.read().decode()


class StationPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for path, package in ((CHROMIUM, "chromium"), (DRIVER, "chromium-driver")):
            if not os.access(path, os.X_OK):
                raise AssertionError(path + " is missing: scripts/setup-debian.sh --tests installs " + package)
        from selenium import webdriver  # Debian's python3-selenium
        from selenium.webdriver.chrome.service import Service

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + tempfile.mkdtemp(dir=WORK)):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        # The browser first: it may take seconds to start on a busy machine, and the page must be
        # open before 1-1.3's display arrives.
        cls.browser = webdriver.Chrome(service=Service(DRIVER), options=options)
        try:
            cls.station, cls.address = start_station(
                "displays=3,2:refuse-at=0x0100,2:leave-after=300,2:swap=300,3:arrive-after=6000,3:serial=" + HOSTILE,
                "--listen=127.0.0.1:0", "--history=" + os.path.join(WORK, "history.sqlite3"), "--quarantine-after=2")
        except BaseException:
            cls.browser.quit()
            raise
        cls.browser.get(cls.address + "/")

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        stop(cls.station)

    def until(self, condition, what, seconds=25):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            value = self.browser.execute_script(condition)
            if value:
                return value
            time.sleep(0.1)
        self.fail("not seen in %d s: %s" % (seconds, what))

    def cell(self, port, name):
        return self.browser.execute_script(
            "const row = [...document.querySelectorAll('#ports tbody tr')].find(r => r.dataset.port === arguments[0]);"
            "return row ? row.querySelector('td.' + arguments[1]).textContent : null;", port, name)

    def progress(self, port):
        return self.browser.execute_script(
            "const row = [...document.querySelectorAll('#ports tbody tr')].find(r => r.dataset.port === arguments[0]);"
            "return row.querySelector('progress').value;", port)

    def test_1_the_page_follows_the_line_live(self):
        self.until("return document.getElementById('connection').textContent === 'live'", "the stream live")
        self.assertIsNone(self.cell("1-1.3", "port"), "1-1.3's display has not arrived yet")
        # A display arrives: its row comes without a reload.
        self.until("return document.querySelector('#ports tbody tr[data-port=\"1-1.3\"]')", "1-1.3's display")
        # The write's progress moves.
        self.until("return document.querySelector('tr[data-port=\"1-1.1\"] progress').value > 0", "progress")
        first = self.progress("1-1.1")
        self.until("return document.querySelector('tr[data-port=\"1-1.1\"] progress').value > %d" % first,
                   "progress that moves")
        # A failure shows its reason.
        self.assertEqual(self.cell("1-1.2", "last"), REFUSED.replace("failed", "failure"))
        # A write finishes, and the station's counts follow.
        self.until("return document.querySelector('tr[data-port=\"1-1.1\"] td.state').textContent === 'done'",
                   "1-1.1 done", seconds=30)
        self.assertEqual(self.cell("1-1.1", "number.done"), "1")
        self.assertEqual(self.browser.find_element("id", "written").text, "1")
        # Each event as --json prints it: the stream carries the same objects.
        events = self.browser.execute_script("return document.getElementById('events').textContent")
        self.assertIn("1-1.1  result  serial SIM01-0001  success", events)

    def test_2_a_port_goes_out_of_service(self):
        self.until("return document.querySelector('tr[data-port=\"1-1.2\"] td.state').textContent"
                   ".startsWith('out of service')", "1-1.2 out of service")
        self.assertEqual(self.cell("1-1.2", "state"), REFUSED.replace("failed", "out of service"))
        self.assertEqual(self.cell("1-1.2", "number.failed"), "2")

    def test_3_a_serial_of_html_and_script_is_shown_as_text(self):
        self.until("return document.querySelector('tr[data-port=\"1-1.3\"] td.serial')", "1-1.3's serial")
        self.assertEqual(self.cell("1-1.3", "serial"), HOSTILE)
        markup = self.browser.execute_script(
            "return document.querySelectorAll('#ports img, #ports script, #events img, #events script').length")
        self.assertEqual(markup, 0, "a display's serial became markup")
        self.assertIsNone(self.browser.execute_script("return window.__pwned"))
        problems = [entry for entry in self.browser.get_log("browser") if entry["level"] == "SEVERE"]
        self.assertEqual(problems, [], "the page's own script and style must run under its policy")

    def test_4_the_history_page_filters(self):
        self.until("return document.querySelector('tr[data-port=\"1-1.1\"] td.state').textContent === 'done'",
                   "1-1.1 done", seconds=30)
        self.browser.get(self.address + "/history?result=failure")
        self.until("return document.querySelectorAll('#runs tbody tr').length > 0", "failed runs")
        rows = self.browser.execute_script(
            "return [...document.querySelectorAll('#runs tbody tr')].map(r => [r.cells[1].textContent, r.cells[2].textContent])")
        self.assertEqual(rows, [["failure", "1-1.2"]] * 2)
        form = self.browser.find_element("id", "filters")
        form.find_element("name", "result").send_keys("any")
        form.find_element("name", "serial").send_keys("SIM01-0001")
        form.find_element("css selector", "button").click()
        self.until("return [...document.querySelectorAll('#runs tbody tr')].map(r => r.cells[3].textContent)"
                   ".join() === 'SIM01-0001'", "the runs of SIM01-0001 alone")
        self.assertIn("serial=SIM01-0001", self.browser.current_url)

    def test_5_metrics_pass_promtool(self):
        self.assertIsNotNone(PROMTOOL, "promtool is missing: scripts/setup-debian.sh --tests installs prometheus")
        status, text = get(self.address + "/metrics")
        self.assertEqual(status, 200)
        self.assertIn('padsmith_runs_total{port="1-1.2",result="failure",kind="refused"} 2', text)
        self.assertIn('padsmith_port_out_of_service{port="1-1.2"} 1', text)
        check = subprocess.run([PROMTOOL, "check", "metrics"], input=text, capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)


class StationBeyondLoopback(unittest.TestCase):
    """'Remote' is the address the station listens on, not where a request comes from: a station on
    0.0.0.0 is reachable from every network the machine is on, so it asks every request for data
    for its token, the ones that come over loopback (as these do) too."""

    def test_an_address_beyond_loopback_needs_a_token_and_asks_every_request_for_it(self):
        refused = subprocess.run([PADSMITH, "--simulate=absent", "station", IMAGE, "--listen=0.0.0.0:0"],
                                 capture_output=True, text=True, timeout=30)
        self.assertEqual(refused.returncode, 2, refused.stderr)
        self.assertIn("give it a token with --listen-token=FILE", refused.stderr)
        token = os.path.join(WORK, "token")
        with open(token, "w") as file:
            file.write("line-7f3a9c\n")
        station, address = start_station("absent", "--listen=0.0.0.0:0", "--listen-token=" + token, "--no-history")
        try:
            port = address.rsplit(":", 1)[1]
            for path in ("/metrics", "/events", "/api/history"):
                self.assertEqual(get("http://127.0.0.1:%s%s" % (port, path))[0], 401, path)
                self.assertEqual(get("http://127.0.0.1:%s%s" % (port, path),
                                     {"Authorization": "Bearer line-7f3a9"})[0], 401, path)
            status, _ = get("http://127.0.0.1:%s/metrics" % port, {"Authorization": "Bearer line-7f3a9c"})
            self.assertEqual(status, 200)
        finally:
            stop(station)


if __name__ == "__main__":
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    IMAGE = os.path.join(WORK, "image.bin")
    with open(IMAGE, "wb") as image:
        image.write(os.urandom(0xD800))
    unittest.main(argv=sys.argv[:1], verbosity=2)
