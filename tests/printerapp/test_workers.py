"""Each printer's labels are made in a render worker of its own: a crash there
fails one job, the server and every other printer go on, and printers render
side by side."""

import os
import signal
import time
import unittest

from app_server import SAMPLES, AppServer, SamplePages, labelprint, labels_in

PDF = os.path.join(SAMPLES, "shipping-label.pdf")


def workers_of(server_pid):
    """The render workers a server has started."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
            with open(f"/proc/{name}/cmdline", "rb") as cmdline:
                arguments = cmdline.read().split(b"\0")
        except OSError:
            continue
        if parent == server_pid and b"--render-worker" in arguments:
            found.append(int(name))
    return found


class Workers(SamplePages):
    PAGES = 40

    def test_a_crashed_worker_fails_its_job_and_the_next_job_prints(self):
        with AppServer() as app:
            app.add_printer()
            job = app.submit(self.pages, "crashing")
            output = os.path.join(app.output, "crashing.prn")
            deadline = time.time() + 30
            while labels_in(output) < 1 and time.time() < deadline:
                time.sleep(0.005)
            workers = workers_of(app.process.pid)
            self.assertEqual(len(workers), 1)
            os.kill(workers[0], signal.SIGSEGV)
            state = app.wait_for_job(job)
            self.assertEqual(state["job-state"], "aborted", state)
            # "(signal 11, ...)"; under AddressSanitizer, which catches the
            # signal, "(exit status 1)".
            self.assertIn("the label renderer stopped", state.get("job-state-message", ""))
            self.assertIn("document-unprintable-error", state["job-state-reasons"])
            after = app.submit(PDF, "after")
            self.assertEqual(app.wait_for_job(after)["job-state"], "completed")
            self.assertEqual(app.printed("after"), labelprint(PDF))
            self.assertNotIn(workers[0], workers_of(app.process.pid))

    def test_two_printers_render_side_by_side(self):
        with AppServer() as app:
            outputs = {}
            for name in ("A", "B"):
                outputs[name] = os.path.join(app.output, name)
                os.makedirs(outputs[name])
                app.add_printer(name, f"file://{outputs[name]}")
            jobs = {name: app.submit(self.pages, "forty", printer=name) for name in ("A", "B")}
            # Both printers have labels out before either job ends.
            deadline = time.time() + 60
            while time.time() < deadline:
                counts = [labels_in(os.path.join(outputs[n], "forty.prn")) for n in ("A", "B")]
                if min(counts) >= 1 or max(counts) >= 40:
                    break
                time.sleep(0.005)
            self.assertGreaterEqual(min(counts), 1, counts)
            self.assertLess(max(counts), 40, counts)
            expected = labelprint(self.pages)
            for name, job in jobs.items():
                self.assertEqual(app.wait_for_job(job, printer=name)["job-state"], "completed")
                with open(os.path.join(outputs[name], "forty.prn"), "rb") as printed:
                    self.assertEqual(printed.read(), expected)
            self.assertEqual(len(workers_of(app.process.pid)), 2)


if __name__ == "__main__":
    unittest.main()
