#!/usr/bin/env python3
"""Takes README's pictures of the printer application's web pages: a private
server with one printer (its labels go to a file), headless Chromium at a
desktop's and a phone's width. Needs a host build (build/) and Debian's
chromium, chromium-driver and python3-selenium.

    python3 scripts/web-pictures.py [docs/pictures]"""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "printerapp"))
sys.path.append("/usr/lib/python3/dist-packages")

from app_server import BUILD, SAMPLES, AppServer  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import Select  # noqa: E402


def browser(profile, width, height):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-dev-shm-usage",
                 "--hide-scrollbars", f"--window-size={width},{height}",
                 "--user-data-dir=" + profile):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"),
                            options=options)


def main():
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(HERE, "..", "docs", "pictures"))
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch, AppServer() as app:
        app.add_printer()
        job = app.submit(os.path.join(SAMPLES, "shipping-label.pdf"), "sample")
        app.wait_for_job(job)
        base = f"http://127.0.0.1:{app.port}"
        desktop = browser(os.path.join(scratch, "desktop"), 1100, 900)
        try:
            desktop.get(base + "/Label/media")
            Select(desktop.find_element(By.NAME, "ready0-tracking")).select_by_value("gap")
            desktop.save_screenshot(os.path.join(out, "media-page.png"))
            desktop.get(base + "/Label/printing")
            desktop.save_screenshot(os.path.join(out, "printing-defaults.png"))
            desktop.set_window_size(1100, 1500)
            desktop.get(base + "/Label/label-settings")
            desktop.save_screenshot(os.path.join(out, "label-settings.png"))
        finally:
            desktop.quit()
        phone = browser(os.path.join(scratch, "phone"), 500, 1700)
        try:
            # A phone's width: Chromium keeps a window at least 500 wide.
            phone.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": 390, "height": 1700, "deviceScaleFactor": 1, "mobile": False})
            phone.get(base + "/Label/label-settings")
            phone.save_screenshot(os.path.join(out, "label-settings-phone.png"))
        finally:
            phone.quit()
        test_label = os.path.join(scratch, "test-label.prn")
        subprocess.run([os.path.join(BUILD, "bin", "labelprint"), "--test-label",
                        "--label", "60x40mm", "--media", "gap:3", "-o", test_label,
                        "--preview", os.path.join(out, "test-label.png")], check=True)
    for name in sorted(os.listdir(out)):
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
