#!/usr/bin/env python3
"""ringlist serve in a real browser: headless Chromium driven by Selenium opens the page, reads
the counts it shows, sees them change within 5 s of a new result line, shows a hostile folder
name as text, says when a run ended, fits a 375 px screen, keeps its last data while the server
is away and recovers when it is back.

Usage: serve_page_test.py RINGLIST [--screenshot FILE]"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def record(number, amount, mark=" "):
    return "%s  %7d %s\r\n" % (number, amount, mark)


def start_server(ringlist, folders, port):
    server = subprocess.Popen([ringlist, "serve", *folders, "--listen", "127.0.0.1:%d" % port],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    deadline = time.time() + 60
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return server
        except OSError:
            time.sleep(0.1)
    server.kill()
    raise SystemExit("ringlist serve did not listen: " + server.stdout.read())


def browser():
    options = Options()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--window-size=1000,1400"):
        options.add_argument(flag)
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    os.environ["TZ"] = "UTC"  # the times the page shows, pinned
    service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    return webdriver.Chrome(service=service, options=options)


def wait_for(what, check, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("not within %g s: %s" % (seconds, what))


def count(driver, folder_index, key):
    """The number a folder's section shows, read in one step: the page redraws every poll."""
    return driver.execute_script(
        "const s = document.querySelectorAll('section.folder')[arguments[0]];"
        "const c = s && s.querySelector('[data-count=\"' + arguments[1] + '\"]');"
        "return c ? c.textContent : null;", folder_index, key)


def polls(driver):
    return int(driver.execute_script("return document.body.dataset.polls || '0'"))


def note(driver):
    return driver.execute_script("return document.getElementById('note').textContent")


def main():
    ringlist = sys.argv[1]
    screenshot = sys.argv[sys.argv.index("--screenshot") + 1] if "--screenshot" in sys.argv else None
    work = tempfile.mkdtemp(prefix="serve_page_")
    rack1 = os.path.join(work, "rack1")
    hostile = os.path.join(work, "<script>alert(1)</script>")
    os.makedirs(rack1)
    os.makedirs(hostile)
    numbers = ["%07d" % (3000000 + i) for i in range(20)]
    with open(os.path.join(rack1, "Ring.TXT"), "w", newline="") as f:
        f.write("".join(record(n, 100 + i, "Y" if i < 5 else " ") for i, n in enumerate(numbers)))
        f.write("\r\n")
    with open(os.path.join(hostile, "Ring.TXT"), "w", newline="") as f:
        f.write(record("4000000", 10) + "\r\n")
    port = free_port()
    server = start_server(ringlist, [rack1, hostile], port)
    driver = browser()
    try:
        driver.get("http://127.0.0.1:%d/" % port)
        wait_for("the counts shown", lambda: count(driver, 0, "notified") == "5", 60)
        assert count(driver, 0, "records") == "20", count(driver, 0, "records")
        assert count(driver, 0, "left") == "15", count(driver, 0, "left")
        # The hostile name is text: no script ran, the heading shows it as it is.
        names = driver.execute_script(
            "return [...document.querySelectorAll('section.folder h2')].map(h => h.textContent)")
        assert hostile in names, names
        assert driver.execute_script("return document.querySelectorAll('section script').length") == 0

        # A verdict as Dialrun writes it: the log line, then the mark.
        with open(os.path.join(rack1, "RINGY.txt"), "a", newline="") as log:
            log.write(numbers[5] + "   08-12 10:00:05" + " " * 44 + "\r\n")
        with open(os.path.join(rack1, "Ring.TXT"), "r+b") as f:
            f.seek(5 * 20 + 17)
            f.write(b"Y")
        # Shown by the first poll that starts after the write, or the next if one was under
        # way: polls come every 2 s, so within 5 s on a machine that keeps up. Counted in
        # polls, not in seconds, so that a loaded machine (sanitizers, -j2) does not fail it.
        polls_before = polls(driver)
        written = time.time()
        wait_for("the new result", lambda: count(driver, 0, "notified") == "6", 60)
        polls_taken = polls(driver) - polls_before
        print("new result shown after %d poll(s), %.1f s" % (polls_taken, time.time() - written))
        assert polls_taken <= 2, polls_taken
        assert count(driver, 0, "left") == "14"
        # A run that ended: its time, not a lost program; eight channels on a phone's width
        # scroll in their own box, not the page.
        channels = ",".join('{"channel": %d, "mode": "DTMF-режим ожидания", "line": true, '
                            '"last_reply": "2026-12-08T10:04:%02d+00:00"}' % (k, k)
                            for k in range(1, 9))
        with open(os.path.join(rack1, "status-dialrun.json.new"), "w") as f:
            f.write('{"state": "ended", "updated": "2026-12-08T10:05:00+00:00", "reason": "", '
                    '"channels": [%s]}' % channels)
        os.replace(os.path.join(rack1, "status-dialrun.json.new"),
                   os.path.join(rack1, "status-dialrun.json"))
        wait_for("the ended run", lambda: "dialrun: завершена в 10:05" in
                 driver.execute_script("return document.body.textContent"), 60)
        assert "нет связи с программой" not in driver.execute_script(
            "return document.body.textContent")
        if screenshot:
            driver.save_screenshot(screenshot)
        # A log whose last line was left without its CR LF, long ago: said under the folder.
        torn = os.path.join(hostile, "RINGY.txt")
        with open(torn, "w", newline="") as log:
            log.write("4000000   08-1")
        os.utime(torn, (time.time() - 3600, time.time() - 3600))
        wait_for("the torn line said", lambda: "Журнал RINGY.txt: последняя строка не дописана" in
                 driver.execute_script("return document.body.textContent"), 60)
        driver.set_window_size(375, 800)
        polls_before = polls(driver)
        wait_for("a poll at 375 px", lambda: polls(driver) > polls_before, 60)
        widths = driver.execute_script(
            "return [document.documentElement.scrollWidth, document.documentElement.clientWidth]")
        assert widths[0] <= widths[1], widths

        # The server goes away: the page keeps its numbers and says so; back, it recovers.
        server.kill()
        server.wait()
        wait_for("the page saying the server is away",
                 lambda: "Нет связи с сервером" in note(driver), 60)
        assert count(driver, 0, "notified") == "6"
        server = start_server(ringlist, [rack1, hostile], port)
        wait_for("the page back", lambda: "Обновлено" in note(driver), 60)
        print("serve page: counts shown, changed within 5 s, name as text, recovered")
    finally:
        driver.quit()
        server.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
