"""label-printer-app under load, as a busy warehouse meets it: rounds of
raster and PDF clients at once on two printers, every busy answer sent again,
some jobs canceled as they start or while they print. Every accepted job
prints exactly once, as labelprint prints it; a canceled one prints whole
labels only; the server stays up and answering.

LABEL_STRESS_ROUNDS sets the number of rounds (default 3)."""

import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import pwg_raster
from app_server import SAMPLES, AppServer, label_ends, labelprint
from ipp_client import BUSY, OK, Client

ROUNDS = int(os.environ.get("LABEL_STRESS_ROUNDS", "3"))
RASTER_CLIENTS, PDF_CLIENTS = 20, 4
PRINTERS = ("A", "B")


class Stress(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="label-app-stress-")
        self.addCleanup(shutil.rmtree, self.scratch, True)
        rows = pwg_raster.box_page()
        self.raster = pwg_raster.black_1(rows, 812)
        pbm = os.path.join(self.scratch, "box.pbm")
        with open(pbm, "wb") as out:
            out.write(pwg_raster.pbm(rows, 812))
        sample = os.path.join(SAMPLES, "shipping-label.pdf")
        pdf = os.path.join(self.scratch, "six.pdf")
        subprocess.run(["qpdf", "--empty", "--pages", *[sample] * 6, "--", pdf], check=True)
        with open(pdf, "rb") as document:
            self.pdf = document.read()
        self.expected = {"raster": labelprint(pbm), "pdf": labelprint(pdf)}
        self.documents = {"raster": (self.raster, "image/pwg-raster"),
                          "pdf": (self.pdf, "application/pdf")}

    def submit(self, app, printer, kind, name, cancel, accepted, errors):
        """Sends the job until it is accepted (a busy answer is sent again
        under a new name, as the job it made is not printed), then cancels it
        as `cancel` says."""
        client = Client(app.port, printer)
        document, format = self.documents[kind]
        attempt = 0
        try:
            while True:
                job_name = f"{name}-{attempt}"
                status, job_id = client.print_job(document, format, job_name)
                if status == BUSY:
                    accepted.append((printer, kind, job_name, None, "busy"))
                    attempt += 1
                    time.sleep(random.uniform(0.005, 0.05))
                    continue
                if status != OK:
                    errors.append(f"{job_name}: status {status:#06x}")
                    return
                break
            if cancel == "printing":
                deadline = time.time() + 30
                while client.job(job_id)[0] == "pending" and time.time() < deadline:
                    time.sleep(0.005)
            if cancel:
                client.cancel_job(job_id)
            accepted.append((printer, kind, job_name, job_id, cancel))
        except Exception as failure:  # noqa: BLE001 - every failure is the test's finding
            errors.append(f"{name}: {failure!r}")

    def check_round(self, app, outputs, accepted):
        expected_files = {p: set() for p in PRINTERS}
        for printer, kind, job_name, job_id, cancel in accepted:
            if job_id is None:
                continue
            expected_files[printer].add(job_name + ".prn")
            client = Client(app.port, printer)
            deadline = time.time() + 120
            while True:
                state, attributes = client.job(job_id)
                if state in ("completed", "canceled", "aborted") or time.time() > deadline:
                    break
                time.sleep(0.05)
            path = os.path.join(outputs[printer], job_name + ".prn")
            printed = b""
            if os.path.exists(path):
                with open(path, "rb") as output:
                    printed = output.read()
            want = self.expected[kind]
            where = f"{printer}/{job_name} (job {job_id}, {cancel or 'kept'})"
            labels = len(label_ends(printed))
            self.seen[(cancel, state, labels)] = self.seen.get((cancel, state, labels), 0) + 1
            if state == "canceled" and cancel:
                self.assertIn(len(printed), [0] + label_ends(want), f"{where}: a label cut")
                self.assertEqual(printed, want[:len(printed)], where)
            else:
                self.assertEqual(state, "completed", (where, attributes, app.log()[-4000:]))
                self.assertEqual(printed, want, f"{where}: {len(printed)} bytes")
            self.assertEqual(attributes.get("job-impressions-completed", [0])[0], labels,
                             where)
        for printer in PRINTERS:
            # A job canceled before it started has no file.
            self.assertLessEqual(set(os.listdir(outputs[printer])), expected_files[printer],
                                 f"printer {printer}: files of jobs answered busy")

    def test_rounds_of_raster_and_pdf_clients_at_once(self):
        self.seen = {}
        self.addCleanup(lambda: print("\n(cancel, state, labels): jobs", sorted(
            self.seen.items(), key=str), file=sys.stderr))
        with AppServer(extra_options=["log-level=info"]) as app:
            outputs = {}
            for printer in PRINTERS:
                outputs[printer] = os.path.join(app.output, printer)
                os.makedirs(outputs[printer])
                app.add_printer(printer, f"file://{outputs[printer]}")
            for round_number in range(ROUNDS):
                with self.subTest(round=round_number):
                    accepted, errors, threads = [], [], []
                    plan = [("raster", None)] * RASTER_CLIENTS + \
                        [("pdf", None), ("pdf", None), ("pdf", "at-once"), ("pdf", "printing")]
                    for index, (kind, cancel) in enumerate(plan):
                        printer = PRINTERS[index % len(PRINTERS)]
                        name = f"r{round_number}-{kind}-{index}"
                        threads.append(threading.Thread(
                            target=self.submit,
                            args=(app, printer, kind, name, cancel, accepted, errors)))
                    for thread in threads:
                        thread.start()
                    for thread in threads:
                        thread.join(timeout=300)
                    try:
                        self.assertEqual(errors, [])
                        self.assertEqual(len([a for a in accepted if a[3] is not None]),
                                         len(plan))
                        self.check_round(app, outputs, accepted)
                    finally:
                        for printer in PRINTERS:
                            for name in os.listdir(outputs[printer]):
                                os.unlink(os.path.join(outputs[printer], name))
            self.assertIsNone(app.process.poll(), "the server ended")


if __name__ == "__main__":
    unittest.main()
