"""The printer's label settings page and PAPPL's Printing Defaults page in a
real browser: settings saved from either form print on the next label,
refused ones change nothing, and the picture shows the label the printer last
received."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.request

from app_server import BUILD, LABEL_END, SAMPLES, AppServer, labelprint
from printer_sim import BITMAP, SimulatedPrinter

try:
    from selenium import webdriver
except ImportError:  # a Python of its own on PATH does not see the distribution's package
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        from selenium import webdriver
    except ImportError:
        webdriver = None
if webdriver:
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
LABELVIEW = os.path.join(BUILD, "bin", "labelview")
PDF = os.path.join(SAMPLES, "shipping-label.pdf")
DARKNESS = 80


def png_size(data):
    return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")


@unittest.skipUnless(webdriver and os.access(CHROMIUM, os.X_OK) and os.access(CHROMEDRIVER, os.X_OK),
                     "needs chromium, chromium-driver and python3-selenium")
class SettingsPage(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="label-web-test-")
        self.addCleanup(shutil.rmtree, self.scratch, ignore_errors=True)
        self.app = AppServer()
        self.addCleanup(self.app.__exit__)
        self.app.start()
        self.app.add_printer()
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                     "--window-size=1280,1000",
                     "--user-data-dir=" + os.path.join(self.scratch, "profile")):
            options.add_argument(flag)
        self.browser = webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER),
                                        options=options)
        self.addCleanup(self.browser.quit)
        self.page = f"http://127.0.0.1:{self.app.port}/Label/label-settings"

    def open(self):
        self.browser.get(self.page)
        return self.element("save")

    def element(self, element_id):
        return WebDriverWait(self.browser, 15).until(
            lambda browser: browser.find_element(By.ID, element_id))

    def fill_in_and_save(self, values):
        self.open()
        for name, value in values.items():
            field = self.browser.find_element(By.ID, name)
            if isinstance(value, bool):
                if field.is_selected() != value:
                    field.click()
            else:
                field.clear()
                field.send_keys(value)
        return self.press(self.browser.find_element(By.ID, "save"))

    def press(self, button):
        """Clicks a form's button; the message of the page it brings."""
        # Clear of the page's fixed footer, where a click at the window's edge would land.
        self.browser.execute_script("arguments[0].scrollIntoView({block: 'center'})", button)
        # The page shown may have a message of its own: the answer is the
        # next page, which has not the mark this one is given.
        self.browser.execute_script("window.pressed = true")
        button.click()
        WebDriverWait(self.browser, 15).until(lambda browser: browser.execute_script(
            "return !window.pressed && document.readyState == 'complete'") and
            browser.find_elements(By.ID, "message"))
        return self.browser.find_element(By.ID, "message").text

    def shown_values(self):
        self.open()
        return {field.get_attribute("name"): field.is_selected()
                if field.get_attribute("type") == "checkbox" else field.get_attribute("value")
                for field in self.browser.find_elements(By.CSS_SELECTOR, "form input[id]")
                if field.get_attribute("type") != "submit"}

    def print_label(self, name):
        job = self.app.submit(PDF, name)
        self.assertEqual(self.app.wait_for_job(job)["job-state"], "completed")
        return self.app.printed(name)

    def test_saved_settings_print_refused_ones_do_not_and_the_picture_is_the_last_label(self):
        self.open()
        self.assertTrue(self.browser.find_elements(By.ID, "last-label-none"))

        message = self.fill_in_and_save({"printer-darkness": str(DARKNESS),
                                         "label-page-start-command": "1B40",
                                         "label-page-start-enabled": True})
        self.assertEqual(message, "Settings saved.")
        saved = self.shown_values()
        self.assertEqual((saved["printer-darkness"], saved["label-page-start-command"],
                          saved["label-page-start-enabled"]), (str(DARKNESS), "1B40", True))
        expected = labelprint("--density", str(round(DARKNESS * 15 / 100)),
                              "--page-start", "1B40", PDF)
        self.assertEqual(self.print_label("saved"), expected)

        for field, bad in (("label-shift-x", "500"), ("label-page-start-command", "1B4")):
            with self.subTest(field):
                # A good darkness next to the bad value must not be kept either.
                message = self.fill_in_and_save({"printer-darkness": "20", field: bad})
                label = self.browser.find_element(By.CSS_SELECTOR, f"label[for='{field}']").text
                self.assertIn(label.rstrip(":"), message)
                self.assertIn("Nothing was changed.", message)
                self.assertEqual(self.shown_values(), saved)
        printed = self.print_label("after-refusals")
        self.assertEqual(printed, expected)

        self.open()
        picture = self.element("last-label")
        WebDriverWait(self.browser, 15).until(lambda browser: browser.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth > 0", picture))
        if os.environ.get("LABEL_WEB_SCREENSHOT"):
            self.browser.save_screenshot(os.environ["LABEL_WEB_SCREENSHOT"])
        with urllib.request.urlopen(picture.get_attribute("src"), timeout=15) as response:
            self.assertEqual(response.headers["Content-Type"], "image/png")
            shown = response.read()
        spool = os.path.join(self.scratch, "last.prn")
        drawn = os.path.join(self.scratch, "last.png")
        with open(spool, "wb") as out:
            out.write(printed)
        subprocess.run([LABELVIEW, spool, "--png", drawn], check=True, capture_output=True,
                       timeout=60)
        with open(drawn, "rb") as png:
            self.assertEqual(shown, png.read())
        self.assertEqual(png_size(shown), tuple(self.browser.execute_script(
            "return [arguments[0].naturalWidth, arguments[0].naturalHeight]", picture)))

    def test_pappl_printing_defaults_page_saves_and_the_next_label_prints_so(self):
        self.browser.get(f"http://127.0.0.1:{self.app.port}/Label/printing")
        # Every setting of the program's own in words, none by its attribute name.
        headings = [th.text for th in self.browser.find_elements(By.TAG_NAME, "th")]
        self.assertIn("Shift right (8-dot steps):", headings)
        self.assertIn("Commands sent before each job (text or hexadecimal):", headings)
        self.assertEqual([h for h in headings if h.startswith("label-")], [])
        darkness = Select(self.element_named("print-darkness"))
        # The printer's own darkness must be one of the menu's, or saving
        # anything else on the page would set the menu's first, 0 %.
        self.assertEqual(darkness.first_selected_option.get_attribute("value"), "26")
        darkness.select_by_value(str(DARKNESS))
        # The radio button itself is hidden behind its picture.
        self.browser.find_element(
            By.XPATH, "//input[@name='orientation-requested'][@value='4']/..").click()
        Select(self.element_named("print-scaling")).select_by_value("fit")
        Select(self.element_named("label-code-page")).select_by_value("1252")
        self.element_named("label-page-start-enabled").click()
        self.element_named("label-page-start-command").send_keys("1b 40")
        self.save_pappl_form()

        self.assertEqual(self.app.attributes(
            "printer-darkness-configured", "orientation-requested-default",
            "print-scaling-default", "label-code-page-default",
            "label-page-start-enabled-default", "label-page-start-command-default"), {
            "printer-darkness-configured": ("integer", str(DARKNESS)),
            "orientation-requested-default": ("enum", "landscape"),
            "print-scaling-default": ("keyword", "fit"),
            "label-code-page-default": ("integer", "1252"),
            "label-page-start-enabled-default": ("boolean", "true"),
            "label-page-start-command-default": ("textWithoutLanguage", "1B40")})
        self.assertEqual(self.print_label("after-printing-defaults"),
                         labelprint("--density", str(round(DARKNESS * 15 / 100)),
                                    "--page-start", "1B40", PDF))
        shown = self.shown_values()
        self.assertEqual((shown["printer-darkness"], shown["label-page-start-command"],
                          shown["label-page-start-enabled"]), (str(DARKNESS), "1B40", True))

    def test_settings_that_cannot_be_stored_are_reported_and_not_kept(self):
        before = self.shown_values()
        self.app.block_settings_file()
        message = self.fill_in_and_save({"printer-darkness": str(DARKNESS), "label-shift-x": "5"})
        self.assertIn("cannot be written", message)
        self.assertIn("Nothing was changed.", message)
        self.assertEqual(self.shown_values(), before)
        self.assertEqual(self.print_label("unchanged"), labelprint(PDF))

    def test_pappl_media_page_sets_the_sensing_and_offset_and_the_next_label_sends_them(self):
        self.browser.get(f"http://127.0.0.1:{self.app.port}/Label/printing")
        Select(self.element_named("print-speed")).select_by_value("3")
        length = self.element_named("label-sensing-length")
        length.clear()
        length.send_keys("4.5")
        self.save_pappl_form()
        self.browser.get(f"http://127.0.0.1:{self.app.port}/Label/media")
        Select(self.element_named("ready0-tracking")).select_by_value("mark")
        offset = self.element_named("ready0-top-offset")
        offset.clear()
        offset.send_keys("1.5")
        self.save_pappl_form()
        self.assertEqual(self.print_label("media"), labelprint(
            "--speed", "3", "--media", "mark:4.5", "--top-offset", "1.5", PDF))

        # The label mode and its feed are on the label settings page.
        self.fill_in_and_save({"label-offset": "-2"})
        Select(self.element("label-mode")).select_by_value("cutter")
        self.press(self.browser.find_element(By.ID, "save"))
        self.assertEqual(self.print_label("mode"), labelprint(
            "--speed", "3", "--media", "mark:4.5", "--top-offset", "1.5",
            "--label-mode", "cutter", "--label-offset", "-2", PDF))

    def test_at_phone_width_nothing_overlaps_and_every_field_is_reachable(self):
        self.print_label("for-the-picture")
        # Chromium keeps a window at least 500 wide; the page is laid out for
        # a phone's 390.
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": False})
        self.open()
        picture = self.element("last-label")
        WebDriverWait(self.browser, 15).until(lambda browser: browser.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth > 0", picture))
        width, scroll = self.browser.execute_script(
            "return [window.innerWidth, document.documentElement.scrollWidth]")
        self.assertEqual(width, 390)
        self.assertLessEqual(scroll, width, "the page is wider than the phone")
        boxes = self.browser.execute_script("""
            const boxes = [];
            for (const e of document.querySelectorAll(
                    "form input:not([type=hidden]), form select, form button, #last-label")) {
              const r = e.getBoundingClientRect();
              boxes.push([e.id || e.name, r.left, r.top, r.right, r.bottom]);
            }
            return boxes;""")
        self.assertGreater(len(boxes), 15)
        for name, left, top, right, bottom in boxes:
            self.assertGreaterEqual(left, 0, name)
            self.assertLessEqual(right, width, name)
        for i, (a, *ra) in enumerate(boxes):
            for b, *rb in boxes[i + 1:]:
                overlap = ra[0] < rb[2] and rb[0] < ra[2] and ra[1] < rb[3] and rb[1] < ra[3]
                self.assertFalse(overlap, f"{a} lies over {b}")

    def test_actions_reach_an_idle_printer_and_never_a_label_being_sent(self):
        printer = SimulatedPrinter()
        self.addCleanup(printer.close)
        self.app.add_printer("Net", printer.uri)

        self.open()
        self.assertIn("Only a USB or network printer can do this", self.act("feed"))

        self.page = f"http://127.0.0.1:{self.app.port}/Net/label-settings"
        for action, sent in (("feed", b"FORMFEED\r\n"), ("calibrate", b"AUTODETECT\r\n"),
                             ("beep", b"SOUND 5,200\r\n")):
            with self.subTest(action):
                self.open()
                before = len(printer.connections)
                self.assertEqual(self.act(action), "Sent to the printer.")
                self.arrives(printer, before, sent)
        # Calibrating measures what the printer was set to sense.
        self.fill_in_and_save({"label-sensing-length": "2"})
        self.browser.get(f"http://127.0.0.1:{self.app.port}/Net/media")
        Select(self.element_named("ready0-tracking")).select_by_value("mark")
        self.save_pappl_form()
        self.open()
        before = len(printer.connections)
        self.act("calibrate")
        self.arrives(printer, before, b"BLINEDETECT\r\n")

        connections = len(printer.connections)
        # The printer takes one label and then nothing until the test lets it
        # go on: the job is still sending its labels when the button is pressed,
        # however long the page takes to load.
        printer.stop_reading_after = 1
        job = self.app.submit(PDF, "busy", printer="Net", options=["copies=12"])
        WebDriverWait(self.browser, 15).until(lambda _: printer.labels() >= 1)
        self.open()
        self.assertIn("try again", self.act("feed"))
        printer.stop_reading_after = None
        self.assertEqual(self.app.wait_for_job(job, "Net")["job-state"], "completed")
        sent = b"".join(printer.connections[connections:])
        self.assertEqual(sent.count(LABEL_END), 12)
        self.assertNotIn(b"FORMFEED", sent)

    def arrives(self, printer, before, sent):
        """`sent` comes on a connection of its own (status queries on others
        bring no data)."""
        WebDriverWait(self.browser, 15).until(
            lambda _: [data for data in printer.connections[before:] if data] == [sent])

    def test_the_test_label_is_drawn_at_the_loaded_labels_size(self):
        self.browser.get(f"http://127.0.0.1:{self.app.port}/Label")
        self.browser.find_element(By.CSS_SELECTOR, "input[value='Print Test Page']").click()
        self.check_test_label(self.printed_test_page(1), 812, 1218)

        self.browser.get(f"http://127.0.0.1:{self.app.port}/Label/media")
        Select(self.element_named("ready0-size")).select_by_value("om_50x30mm_50x30mm")
        self.save_pappl_form()
        self.open()
        button = self.element("action-test-label")
        self.browser.execute_script("arguments[0].scrollIntoView({block: 'center'})", button)
        button.click()
        self.check_test_label(self.printed_test_page(2), 400, 240)

        preview = os.path.join(self.scratch, "labelprint.prn")
        labelprint("--test-label", "--label", "50x30mm", "-o", preview)
        with open(preview, "rb") as spool:
            self.check_test_label(spool.read(), 400, 240)
        self.assertFalse([name for name in os.listdir(self.app.spool) if "test-label" in name])

    def printed_test_page(self, job_id):
        """What the printer received for the test page job."""
        self.assertEqual(self.app.wait_for_job(job_id)["job-state"], "completed")
        newest = max((os.path.join(self.app.output, name) for name in os.listdir(self.app.output)),
                     key=os.path.getmtime)
        with open(newest, "rb") as printed:
            return printed.read()

    def check_test_label(self, program, width, height):
        """The outline lies 4 dots inside each edge, 3 dots thick, and the
        top ruler's 10 mm ticks hang from it every 80 dots (203 dpi)."""
        match = BITMAP.search(program)
        self.assertTrue(match, program[:200])
        stride, lines = int(match.group(3)), int(match.group(4))
        self.assertEqual(lines, height)
        self.assertGreaterEqual(stride * 8, width)
        bits = program[match.end():match.end() + stride * lines]

        def printed(x, y):
            return not bits[y * stride + x // 8] & (0x80 >> (x % 8))

        middle_x, middle_y = width // 2, height // 2
        for inset in range(4):
            for x, y in ((inset, middle_y), (width - 1 - inset, middle_y),
                         (middle_x, inset), (middle_x + 1, height - 1 - inset)):
                self.assertFalse(printed(x, y), (x, y))
        for inset in range(4, 7):
            for x, y in ((inset, middle_y), (width - 1 - inset, middle_y),
                         (middle_x + 3, inset), (middle_x + 3, height - 1 - inset)):
                self.assertTrue(printed(x, y), (x, y))
        for mm in (10, 20, 30):  # 3 mm long
            x = 4 + round(mm * 203 / 25.4)
            self.assertTrue(all(printed(x, y) for y in range(7, 7 + 22)), mm)
        x = 4 + round(15 * 203 / 25.4)  # 2 mm long
        self.assertTrue(all(printed(x, y) for y in range(7, 7 + 14)))
        self.assertFalse(printed(x, 7 + 20))

    def act(self, action):
        return self.press(self.element("action-" + action))

    def save_pappl_form(self):
        save = self.browser.find_element(By.CSS_SELECTOR, "input[type='submit']")
        self.browser.execute_script("arguments[0].scrollIntoView({block: 'center'})", save)
        save.click()
        banner = WebDriverWait(self.browser, 15).until(
            lambda browser: browser.find_elements(By.CLASS_NAME, "banner"))
        self.assertEqual(banner[0].text, "Changes saved.")

    def element_named(self, name):
        return WebDriverWait(self.browser, 15).until(
            lambda browser: browser.find_element(By.NAME, name))


if __name__ == "__main__":
    unittest.main()
