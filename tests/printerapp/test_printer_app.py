"""label-printer-app as clients and users meet it: the same bytes as
labelprint, settings over IPP kept across restarts, bad jobs ended with a
reason while good ones print."""

import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

import pwg_raster
from app_server import APP, BUILD, SAMPLES, AppServer, free_port, labelprint, run
from ipp_client import KEYWORD, OK, Client

GET_JOBS = 0x000A

PDF = os.path.join(SAMPLES, "shipping-label.pdf")
PNG = os.path.join(SAMPLES, "shipping-label.png")

SET_ATTRIBUTES_TEST = """{
  OPERATION Set-Printer-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  GROUP printer-attributes-tag
  %s
  STATUS %s
}
"""


def set_attributes(app, attributes, status="successful-ok", printer="Label"):
    """Set-Printer-Attributes with `attributes` (ipptool ATTR lines)."""
    with tempfile.NamedTemporaryFile("w", suffix=".test", delete=False) as test:
        test.write(SET_ATTRIBUTES_TEST % ("\n  ".join(attributes), status))
    try:
        return run(["ipptool", "-t", app.printer_uri(printer), test.name])
    finally:
        os.unlink(test.name)


class Scratch(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="label-app-test-")
        self.addCleanup(shutil.rmtree, self.scratch, True)

    def file(self, name, data):
        path = os.path.join(self.scratch, name)
        with open(path, "wb") as out:
            out.write(data)
        return path


class SameBytesAsLabelprint(Scratch):
    """For the same page and settings the printer receives labelprint's bytes."""

    def test_raster_pdf_and_text(self):
        rows = pwg_raster.box_page()
        raster = self.file("box.pwg", pwg_raster.black_1(rows, 812))
        pbm = self.file("box.pbm", pwg_raster.pbm(rows, 812))
        text = self.file("note.txt", "Ship to: 1 Dock Road\nWeight 2 kg\n\fPage two\n".encode())
        cases = [(raster, "raster", [pbm]), (PDF, "pdf", [PDF]), (text, "text", ["--text", text])]
        with AppServer() as app:
            app.add_printer()
            for path, name, labelprint_args in cases:
                with self.subTest(name):
                    job = app.submit(path, name)
                    self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
                    self.assertEqual(app.printed(name), labelprint(*labelprint_args))

    def test_settings_over_ipp_act_on_the_next_label_and_survive_a_restart(self):
        attributes = ["ATTR integer printer-darkness-configured 80",
                      "ATTR integer label-shift-x-default 2",
                      "ATTR integer label-shift-y-default 16",
                      "ATTR integer label-direction-default 1",
                      "ATTR text label-page-start-command-default 1B40",
                      "ATTR boolean label-page-start-enabled-default true"]
        expected_args = ["--density", "12", "--shift-x", "2", "--shift-y", "16",
                         "--direction", "1", "--page-start", "1B40", PDF]
        with tempfile.TemporaryDirectory() as directory:
            with AppServer(directory) as app:
                app.add_printer()
                self.assertIn("[PASS]", set_attributes(app, attributes).stdout)
            with AppServer(directory) as app:  # the same spool directory again
                job = app.submit(PDF, "after-restart")
                app.wait_for_job(job)
                self.assertEqual(app.printed("after-restart"), labelprint(*expected_args))

    def test_each_media_setting_sends_labelprints_bytes_before_the_label(self):
        ready = ("ATTR collection media-col-ready {{ MEMBER keyword media-size-name "
                 "na_index-4x6_4x6in MEMBER collection media-size {{ MEMBER integer x-dimension "
                 "10160 MEMBER integer y-dimension 15240 }} MEMBER keyword media-source main-roll "
                 "MEMBER keyword media-type labels MEMBER keyword media-tracking {} "
                 "MEMBER integer media-top-offset {} }}")
        # Each row adds to the settings before it, as a person would.
        cases = [
            (["ATTR integer print-speed-default 10160"], ["--speed", "4"]),
            # PAPPL 1.3.1 refuses label-tear-offset-configured over IPP
            # whatever its value; the label settings page sets it.
            (["ATTR keyword label-mode-configured peel-off"], ["--label-mode", "peel-off"]),
            (["ATTR text label-sensing-length-default 5", ready.format("mark", 200)],
             ["--media", "mark:5", "--top-offset", "2"]),
            ([ready.format("continuous", 0)], ["--media", "continuous", "--top-offset", "0"]),
            (["ATTR keyword label-mode-configured cutter-delayed",
              "ATTR integer print-speed-default 0"], ["--label-mode", "cutter-delayed"]),
            (["ATTR text label-job-start-command-default \"SOUND 3,100\"",
              "ATTR boolean label-job-start-enabled-default true"],
             ["--job-start", "SOUND 3,100"]),
        ]
        options = {}
        with tempfile.TemporaryDirectory() as directory:
            with AppServer(directory) as app:
                app.add_printer()
                for number, (attributes, args) in enumerate(cases):
                    with self.subTest(args=args):
                        self.assertIn("[PASS]", set_attributes(app, attributes).stdout)
                        options.update(dict(zip(args[::2], args[1::2])))
                        if "print-speed-default 0" in attributes[-1]:
                            del options["--speed"]
                        name = f"setup-{number}"
                        job = app.submit(PDF, name)
                        self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
                        expected = labelprint(*[part for item in options.items() for part in item],
                                              PDF)
                        self.assertEqual(app.printed(name), expected)
                        self.assertRegex(expected[:20], rb"^(SPEED|GAP|BLINE|SET|SOUND)")
            with AppServer(directory) as app:  # kept with the printer's other settings
                self.assertEqual(app.attributes("label-mode-configured", "media-col-ready")[
                    "label-mode-configured"], ("keyword", "cutter-delayed"))
                job = app.submit(PDF, "after-restart")
                app.wait_for_job(job)
                self.assertEqual(app.printed("after-restart"), expected)

    def test_a_paused_printer_and_a_held_job_stay_so_when_the_server_is_killed(self):
        with tempfile.TemporaryDirectory() as directory:
            app = AppServer(directory)
            app.start()
            app.add_printer()
            held = app.submit(PDF, "held", options=["job-hold-until=indefinite"])
            self.assertEqual(app.app("pause", "-u", app.printer_uri()).returncode, 0)
            queued = app.submit(PDF, "queued")
            # The state is saved at most every quarter second: the kill
            # comes once it holds the last job.
            self.assertTrue(app.saved_job(queued), "the job never reached the state")
            app.process.kill()
            app.process.wait()
            app.process = None
            with AppServer(directory, port=app.port) as again:
                time.sleep(1)  # what would print, would have started
                self.assertEqual(again.attributes("printer-state")["printer-state"][1], "stopped")
                self.assertEqual(again.job(held)["job-state"], "pending-held")
                self.assertEqual(again.job(queued)["job-state"], "pending")
                self.assertEqual(again.app("resume", "-u", again.printer_uri()).returncode, 0)
                self.assertEqual(again.wait_for_job(queued)["job-state"], "completed")
                self.assertEqual(again.printed("queued"), labelprint(PDF))
                self.assertEqual(again.job(held)["job-state"], "pending-held")

    def test_a_job_may_ask_for_settings_of_its_own(self):
        with AppServer() as app:
            app.add_printer()
            job = app.submit(PDF, "own", options=["label-shift-x=3", "print-darkness=40"])
            self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
            self.assertEqual(app.printed("own"),
                             labelprint("--shift-x", "3", "--density", "10", PDF))
            job = app.submit(PDF, "too-far", options=["label-shift-x=999"])
            state = app.wait_for_job(job)
            self.assertEqual(state["job-state"], "aborted", state)
            self.assertIn("out of range", state.get("job-state-message", ""))

    def test_command_texts_are_text_over_ipp(self):
        commands = [f"label-{when}-command-default"
                    for when in ("job-start", "page-start", "page-end", "job-end")]
        with AppServer() as app:
            app.add_printer()
            self.assertEqual(app.attributes(*commands),
                             {name: ("textWithoutLanguage", "") for name in commands})
            self.assertIn("[PASS]", set_attributes(
                app, [f"ATTR text {name} \"1b 4{index}\"" for index, name in enumerate(commands)]).stdout)
            self.assertEqual(app.attributes(*commands),
                             {name: ("textWithoutLanguage", f"1B4{index}")
                              for index, name in enumerate(commands)})
            refused = set_attributes(app, [f"ATTR integer {commands[0]} 5"],
                                     "client-error-attributes-or-values-not-supported")
            self.assertIn("[PASS]", refused.stdout, refused.stdout)

    def test_bad_settings_are_refused_and_nothing_is_stored(self):
        cases = ["ATTR integer label-shift-x-default 500",
                 "ATTR text label-job-end-command-default " + "X" * 200,
                 "ATTR text label-job-end-command-default 1B4",
                 "ATTR integer label-code-page-default 12345",
                 "ATTR integer printer-darkness-configured 101"]
        with AppServer() as app:
            app.add_printer()
            for attribute in cases:
                with self.subTest(attribute):
                    result = set_attributes(app, [attribute],
                                            "client-error-attributes-or-values-not-supported")
                    self.assertIn("[PASS]", result.stdout, result.stdout)
            job = app.submit(PDF, "unchanged")
            app.wait_for_job(job)
            self.assertEqual(app.printed("unchanged"), labelprint(PDF))


class UnstoredSettings(Scratch):
    def test_a_change_whose_settings_cannot_be_stored_fails_and_changes_nothing(self):
        names = ("printer-darkness-configured", "orientation-requested-default",
                 "label-shift-x-default")
        with AppServer() as app:
            app.add_printer()
            before = app.attributes(*names)
            app.block_settings_file()
            result = set_attributes(app, ["ATTR integer printer-darkness-configured 80",
                                          "ATTR enum orientation-requested-default 4",
                                          "ATTR integer label-shift-x-default 2"],
                                    "client-error-attributes-or-values-not-supported")
            self.assertIn("[PASS]", result.stdout, result.stdout)
            self.assertEqual(app.attributes(*names), before)
            job = app.submit(PDF, "unchanged")
            app.wait_for_job(job)
            self.assertEqual(app.printed("unchanged"), labelprint(PDF))


class BadJobs(Scratch):
    """Each bad job ends aborted with a reason; the server goes on printing."""

    def test_each_bad_job_is_aborted_and_good_jobs_print(self):
        rows = pwg_raster.box_page()
        good = pwg_raster.black_1(rows, 812)
        huge = b"RaS2" + pwg_raster.header(70000, 70000) + b"\0\x80"
        long_lines = b"RaS2" + pwg_raster.header(1000, 10, bytes_per_line=20 << 20) + b"\0\x80"
        truncated = good[: len(good) // 2]
        empty = b"RaS2" + pwg_raster.header(0, 0)
        cases = [("huge", huge, "image/pwg-raster"), ("long-lines", long_lines, "image/pwg-raster"),
                 ("truncated", truncated, "image/pwg-raster"), ("no-dots", empty, "image/pwg-raster"),
                 ("damaged-pdf", b"%PDF-1.4\n1 0 obj <<\n", "application/pdf"),
                 ("not-a-pdf", b"hello, this is no PDF", "application/pdf")]
        with AppServer() as app:
            app.add_printer()
            for name, data, format_ in cases:
                with self.subTest(name):
                    job = app.submit(self.file(name, data), name,
                                     options=[f"document-format={format_}"])
                    state = app.wait_for_job(job)
                    self.assertEqual(state["job-state"], "aborted", state)
                    self.assertTrue(state.get("job-state-message"), state)
            job = app.submit(self.file("good.pwg", good), "good")
            self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
            self.assertEqual(app.printed("good"),
                             labelprint(self.file("good.pbm", pwg_raster.pbm(rows, 812))))

    def test_a_client_hanging_up_mid_upload_leaves_the_server_answering(self):
        rows = pwg_raster.box_page()
        data = pwg_raster.black_1(rows, 812)
        with AppServer() as app:
            app.add_printer()
            request = (b"POST /ipp/print/Label HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                       b"Content-Type: application/ipp\r\nTransfer-Encoding: chunked\r\n\r\n")
            with socket.create_connection(("127.0.0.1", app.port)) as client:
                client.sendall(request + b"%x\r\n" % 4000 + data[:4000] + b"\r\n")
            job = app.submit(self.file("after.pwg", data), "after")
            self.assertEqual(app.wait_for_job(job)["job-state"], "completed")

    def test_twenty_clients_at_once_all_print(self):
        # PDF is spooled, so jobs queue; a raster job is read as it arrives
        # and is answered server-error-busy while another prints, which IPP
        # clients retry.
        path, expected = PDF, labelprint(PDF)
        with AppServer() as app:
            app.add_printer()
            jobs = {}

            def submit(index):
                jobs[index] = app.submit(path, f"many-{index}")

            threads = [threading.Thread(target=submit, args=(i,)) for i in range(20)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            for index, job in jobs.items():
                state = app.wait_for_job(job, timeout=60)
                self.assertEqual(state["job-state"], "completed", (state, app.log()[-3000:]))
                self.assertEqual(app.printed(f"many-{index}"), expected)
            self.assertEqual(len(jobs), 20)


CREATE_PRINTER_TEST = """{
  OPERATION Create-Printer
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri system-uri $uri
  ATTR keyword printer-service-type print
  ATTR uri smi55357-device-uri $device
  ATTR keyword smi55357-driver label_203dpi
  GROUP printer-attributes-tag
  ATTR name printer-name $name
  STATUS successful-ok
}
"""


class Devices(Scratch):
    def test_printers_made_by_add_and_by_create_printer_print_side_by_side(self):
        test = self.file("create.test", CREATE_PRINTER_TEST.encode())
        with AppServer() as app:
            app.add_printer("First")
            second = os.path.join(app.directory, "second")
            os.makedirs(second)
            created = run(["ipptool", "-t", "-d", f"device=file://{second}", "-d",
                           "name=Second", app.system_uri, test])
            self.assertIn("[PASS]", created.stdout, created.stdout)
            for printer, folder in (("First", app.output), ("Second", second)):
                job = app.submit(PDF, f"on-{printer}", printer=printer)
                self.assertEqual(app.wait_for_job(job, printer)["job-state"], "completed")
                with open(os.path.join(folder, f"on-{printer}.prn"), "rb") as printed:
                    self.assertEqual(printed.read(), labelprint(PDF))


    def test_a_job_waits_for_a_printer_that_is_not_listening_yet(self):
        port_probe = socket.socket()
        port_probe.bind(("127.0.0.1", 0))
        port = port_probe.getsockname()[1]
        port_probe.close()
        received = bytearray()

        def printer():
            time.sleep(4)
            with socket.create_server(("127.0.0.1", port)) as server:
                server.settimeout(60)
                connection, _ = server.accept()
                with connection:
                    while chunk := connection.recv(65536):
                        received.extend(chunk)

        listener = threading.Thread(target=printer)
        with AppServer() as app:
            app.add_printer(device=f"socket://127.0.0.1:{port}")
            listener.start()
            job = app.submit(PDF, "late")
            time.sleep(2)
            self.assertIn(app.job(job)["job-state"], ("pending", "processing"))
            self.assertEqual(app.wait_for_job(job, timeout=60)["job-state"], "completed")
            listener.join(timeout=60)
        self.assertEqual(bytes(received), labelprint(PDF))

    def test_listing_devices_without_a_dns_sd_daemon_does_not_end_the_server(self):
        with AppServer() as app:
            app.add_printer()
            listing = app.app("devices", "-u", app.system_uri)
            self.assertEqual(listing.returncode, 0, listing.stderr)
            job = app.submit(PDF, "still-here")
            self.assertEqual(app.wait_for_job(job)["job-state"], "completed")


def running_apps(home):
    """The running processes of this build's label-printer-app started with
    HOME=`home`: those of this test alone, whatever other tests run beside it."""
    program, pids, mark = os.path.realpath(APP), set(), b"HOME=" + home.encode()
    for entry in os.listdir("/proc"):
        try:
            if not entry.isdigit() or os.path.realpath(f"/proc/{entry}/exe") != program:
                continue
            with open(f"/proc/{entry}/environ", "rb") as environ:
                if mark in environ.read().split(b"\0"):
                    pids.add(int(entry))
        except OSError:
            pass
    return pids


class JobHistory(unittest.TestCase):
    def test_a_printer_that_keeps_printing_keeps_only_its_hundred_finished_jobs(self):
        rows = pwg_raster.box_page(64, 64)
        page = pwg_raster.black_1(rows, 64)
        with AppServer() as app:
            app.add_printer()
            client = Client(app.port, "Label")
            # Jobs finished within the last minute: PAPPL 1.3.1 forgot none
            # of them, however many.
            sent = 0
            started = time.time()
            while time.time() - started < 3:
                for _ in range(20):
                    self.assertEqual(client.print_job(page, "image/pwg-raster", "j")[0], OK)
                sent += 20
            while client.job(sent)[0] not in ("completed", "aborted", "canceled"):
                time.sleep(0.1)
            self.assertGreater(sent, 150)
            time.sleep(11)  # the clean-up comes every ten seconds
            listed = client.send(GET_JOBS, [(KEYWORD, "which-jobs", "all"),
                                            (KEYWORD, "requested-attributes", "job-id")])[1]
            self.assertEqual(len(listed.get("job-id", [])), 100)
            # The newest are the ones kept.
            self.assertEqual(max(listed["job-id"]), sent)


class NothingLeftRunning(Scratch):
    """Sub-commands never start a server of their own, which nothing would stop."""

    def assert_none_started(self, before, what):
        time.sleep(0.5)  # PAPPL's own start of a server comes at once
        strays = running_apps(self.scratch) - before
        for pid in strays:  # started by this test: stopped by it
            os.kill(pid, 15)
        self.assertFalse(strays, f"{what} left a server running")

    def test_a_sub_command_naming_a_dead_server_fails_and_starts_none(self):
        system = f"ipp://127.0.0.1:{free_port()}/ipp/system"
        printer = system.replace("/ipp/system", "/ipp/print/Label")
        cases = [["printers", "-u", system], ["shutdown", "-u", system],
                 ["add", "-u", system, "-d", "Label", "-m", "label_203dpi", "-v", "file:///tmp"],
                 ["jobs", "-u", printer], ["submit", "-u", printer, PDF], ["-u" + printer, PDF]]
        # Where a server it started would keep its files.
        environment = dict(os.environ, HOME=self.scratch, XDG_DATA_HOME=self.scratch)
        for args in cases:
            with self.subTest(args[0]):
                before, start = running_apps(self.scratch), time.time()
                result = subprocess.run([APP, *args], capture_output=True, text=True,
                                        timeout=60, env=environment)
                self.assertNotEqual(result.returncode, 0, result.stdout)
                self.assertLess(time.time() - start, 5)
                self.assertIn("no server answers at 127.0.0.1", result.stderr)
                self.assert_none_started(before, args)

    def test_a_server_whose_plug_in_is_missing_says_so_and_ends(self):
        missing = os.path.join(self.scratch, "missing.so")
        result = subprocess.run(
            [APP, "server", "-o", f"server-port={free_port()}", "-o",
             f"spool-directory={self.scratch}"], capture_output=True, text=True, timeout=60,
            env=dict(os.environ, LABEL_PLUGIN=missing))
        self.assertNotEqual(result.returncode, 0, result.stdout)
        self.assertIn(f"{missing}: cannot load the plug-in (No such file or directory)",
                      result.stderr)

    def test_the_demo_prints_through_the_app_and_leaves_nothing_running(self):
        before = running_apps(self.scratch)
        demo = os.path.join(os.path.dirname(__file__), "../../scripts/demo-printer-app.sh")
        result = run(["sh", demo, os.path.abspath(BUILD), os.path.join(self.scratch, "out")],
                     env=dict(os.environ, HOME=self.scratch, XDG_DATA_HOME=self.scratch))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("exactly labelprint's bytes", result.stdout)
        self.assert_none_started(before, "the demo")


if __name__ == "__main__":
    unittest.main()
