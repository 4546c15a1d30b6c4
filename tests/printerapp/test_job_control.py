"""What a job asks for, the printer does: copies and page ranges as
labelprint prints them, a cancel that stops at a label boundary and still
ends the job, every label counted once, grey raster dithered when asked, and
a printer that takes no more data named as the reason."""

import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

import pwg_raster
from app_server import SAMPLES, AppServer, label_ends, labelprint, labels_in
from ipp_client import MIME, NAME, OK, PRINT_JOB, URI, Client, request

PDF = os.path.join(SAMPLES, "shipping-label.pdf")
PAUSE_PRINTER, RESUME_PRINTER = 0x0010, 0x0011
PNG = os.path.join(SAMPLES, "shipping-label.png")
ON_4X6 = ["--label", "4x6in"]  # the printer's default label, which PDF pages are fitted to


def grey_png(rows):
    """An 8-bit grey PNG of `rows` (lists of 0-255), as a client's picture."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + \
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows),
                                                             8, 0, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def grey_page(width=400, height=300):
    """A grey ramp: threshold and dither make different dots of it."""
    return [[(x * 255) // (width - 1) for x in range(width)] for _ in range(height)]


def saved_states(app):
    """The state file's jobs: job ID -> the state saved (9, completed)."""
    with open(os.path.join(app.spool, "label-printer-app.state")) as state:
        return {int(re.search(r' id="(\d+)"', line).group(1)):
                re.search(r' state="(\d+)"', line).group(1)
                for line in state if line.startswith("Job ")}


class JobControl(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="label-app-jobs-")
        cls.three = cls.pdf("three.pdf", [PDF] * 3, ["--rotate=+90:2", "--rotate=+180:3"])
        cls.forty = cls.pdf("forty.pdf", [PDF] * 40)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    @classmethod
    def pdf(cls, name, pages, transforms=(), order=None):
        """A PDF of the sample's pages (or of `pages`' pages in `order`)."""
        path = os.path.join(cls.scratch, name)
        chosen = pages if order is None else [pages[0], order]
        subprocess.run(["qpdf", *transforms, "--empty", "--pages", *chosen, "--", path],
                       check=True)
        return path

    def file(self, name, data):
        path = os.path.join(self.scratch, name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def test_copies_and_page_ranges_print_as_labelprint_does(self):
        rows = pwg_raster.box_page()
        raster = self.file("box.pwg", pwg_raster.black_1(rows, 812))
        pbm = self.file("box.pbm", pwg_raster.pbm(rows, 812))
        uncollated = self.pdf("uncollated.pdf", [self.three], order="1,1,2,2,3,3")
        # (document, IPP options, labelprint's arguments for the same labels, labels)
        cases = [
            (PDF, ["copies=3"], ["--copies", "3", PDF], 3),
            (self.three, ["page-ranges=2-2"], [*ON_4X6, "--pages", "2", self.three], 1),
            (self.three, ["page-ranges=2-3", "copies=2"],
             [*ON_4X6, "--pages", "2-3", "--copies", "2", self.three], 4),
            (self.three, ["copies=2", "multiple-document-handling="
                          "separate-documents-uncollated-copies"], [*ON_4X6, uncollated], 6),
            (PNG, ["copies=2"], ["--copies", "2", PNG], 2),
            (PNG, [], [PNG], 1),
            (raster, ["copies=3"], ["--copies", "3", pbm], 3),
        ]
        with AppServer() as app:
            app.add_printer()
            for index, (document, options, expected, labels) in enumerate(cases):
                with self.subTest(document=os.path.basename(document), options=options):
                    name = f"case-{index}"
                    job = app.submit(document, name, options=options)
                    self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
                    printed = app.printed(name)
                    self.assertEqual(len(label_ends(printed)), labels)
                    self.assertEqual(printed, labelprint(*expected))
                    _, attributes = Client(app.port, "Label").job(job)
                    self.assertEqual(attributes["job-impressions-completed"], [labels])
                    self.assertEqual(attributes["job-media-sheets-completed"], [labels])

    def test_cancel_stops_at_the_next_label_and_still_ends_the_job(self):
        commands = ["label-job-end-enabled=true", "label-job-end-command=1B4A"]
        expected = labelprint("--job-end", "1B4A", self.forty)
        ends = label_ends(expected)
        with AppServer() as app:
            app.add_printer()
            client = Client(app.port, "Label")
            job = app.submit(self.forty, "forty", options=commands)
            output = os.path.join(app.output, "forty.prn")
            deadline = time.time() + 30
            while labels_in(output) < 1 and time.time() < deadline:
                time.sleep(0.002)
            sent = labels_in(output)
            self.assertEqual(client.cancel_job(job), OK)
            state = app.wait_for_job(job)
            self.assertEqual(state["job-state"], "canceled", state)
            printed = app.printed("forty")
            labels = len(label_ends(printed))
            # The label in progress is finished, no further one is sent.
            self.assertLessEqual(labels, sent + 1)
            self.assertGreaterEqual(labels, 1)
            self.assertEqual(printed, expected[:ends[labels - 1]] + expected[ends[-1]:])
            self.assertEqual(client.job(job)[1]["job-impressions-completed"], [labels])

    def test_a_raster_job_canceled_while_it_arrives_prints_nothing(self):
        rows = pwg_raster.box_page()
        page = pwg_raster.black_1(rows, 812)
        data = page + page[4:]  # two pages
        with AppServer() as app:
            app.add_printer()
            client = Client(app.port, "Label")
            first = app.submit(PNG, "before")
            app.wait_for_job(first)
            body = request(PRINT_JOB, 1, [(URI, "printer-uri", client.uri),
                                          (NAME, "requesting-user-name", "test"),
                                          (NAME, "job-name", "half"),
                                          (MIME, "document-format", "image/pwg-raster")])
            with socket.create_connection(("127.0.0.1", app.port)) as upload:
                upload.sendall(b"POST /ipp/print/Label HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                               b"Content-Type: application/ipp\r\n"
                               b"Transfer-Encoding: chunked\r\n\r\n")
                half = body + data[:len(page) + 3000]
                upload.sendall(b"%x\r\n" % len(half) + half + b"\r\n")
                job = first + 1
                deadline = time.time() + 10
                while client.job(job)[0] == "unknown" and time.time() < deadline:
                    time.sleep(0.01)
                self.assertEqual(client.cancel_job(job), OK)
                rest = data[len(page) + 3000:]
                upload.sendall(b"%x\r\n" % len(rest) + rest + b"\r\n0\r\n\r\n")
                upload.recv(65536)
            self.assertEqual(app.wait_for_job(job)["job-state"], "canceled")
            path = os.path.join(app.output, "half.prn")
            self.assertFalse(os.path.exists(path) and os.path.getsize(path) > 0)
            # and the printer goes on
            after = app.submit(PNG, "after")
            self.assertEqual(app.wait_for_job(after)["job-state"], "completed")

    def test_grey_raster_is_dithered_when_the_printer_says_so(self):
        rows = grey_page()
        raster = self.file("ramp.pwg", b"RaS2" + pwg_raster.header(400, 300, 8, 18) +
                           b"".join(pwg_raster.encode_line(bytes(row)) for row in rows))
        png = self.file("ramp.png", grey_png(rows))
        with AppServer() as app:
            app.add_printer()
            for dither in (False, True):
                with self.subTest(dither=dither):
                    name = f"ramp-{dither}"
                    job = app.submit(raster, name, options=[f"label-dither={str(dither).lower()}"])
                    self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
                    expected = labelprint(*(["--dither"] if dither else []), png)
                    self.assertEqual(app.printed(name), expected)

    def test_queued_jobs_print_in_the_order_they_came_the_most_urgent_first(self):
        with AppServer() as app:
            app.add_printer()
            # The printer paused, every job queues; resumed, it prints them.
            client = Client(app.port, "Label")
            self.assertEqual(client.send(PAUSE_PRINTER, [])[0], OK)
            jobs = [app.submit(PDF, f"queued-{i}") for i in range(6)]
            jobs.append(app.submit(PDF, "urgent", options=["job-priority=100"]))
            self.assertEqual(client.send(RESUME_PRINTER, [])[0], OK)
            for job in jobs:
                self.assertEqual(app.wait_for_job(job, timeout=60)["job-state"], "completed")
            # Each job's file is written whole before the next job starts,
            # a label's rendering (milliseconds) apart.
            printed = sorted(os.listdir(app.output),
                             key=lambda name: os.stat(os.path.join(app.output, name)).st_mtime_ns)
            self.assertEqual(printed, ["urgent.prn"] + [f"queued-{i}.prn" for i in range(6)])

    def test_the_saved_state_has_every_job_as_it_ended(self):
        # However fast jobs come and end, the state file a restart reads says
        # how each ended, a moment after; a server stopped just after a job
        # ended saves it first.
        with open(PDF, "rb") as document:
            pdf = document.read()
        with AppServer() as app:
            app.add_printer()
            client = Client(app.port, "Label")
            jobs = [client.print_job(pdf, "application/pdf", f"burst-{i}")[1] for i in range(40)]
            for job in jobs:
                self.assertEqual(app.wait_for_job(job, timeout=60)["job-state"], "completed")
            deadline = time.time() + 5
            while any(saved_states(app).get(job) != "9" for job in jobs) and \
                    time.time() < deadline:
                time.sleep(0.05)
            self.assertEqual({job: saved_states(app).get(job) for job in jobs},
                             {job: "9" for job in jobs})
            last = client.print_job(pdf, "application/pdf", "last")[1]
            self.assertEqual(app.wait_for_job(last, timeout=60)["job-state"], "completed")
            app.stop()
            self.assertEqual(saved_states(app).get(last), "9")

    def test_a_printer_that_takes_no_more_data_is_named_as_the_reason(self):
        # A device that takes nothing: every write fails, as on a full disk.
        with AppServer() as app:
            app.add_printer(device="file:///dev/full")
            job = app.submit(self.forty, "cut-off")
            state = app.wait_for_job(job, timeout=60)
            self.assertEqual(state["job-state"], "aborted", state)
            self.assertIn("printer-stopped", state["job-state-reasons"])
            self.assertNotIn("document-format-error", state["job-state-reasons"])
            self.assertIn("printer", state.get("job-state-message", ""))


if __name__ == "__main__":
    unittest.main()
