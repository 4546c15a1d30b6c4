"""Labels are made in render workers, a pool every printer's jobs share: a
crash there fails one job, the server and every other printer go on, printers
render side by side, no more workers run than the pool's limit, and a worker
without a job ends after a while."""

import os
import shutil
import signal
import subprocess
import time
import unittest

from app_server import SAMPLES, AppServer, SamplePages, children_of, labelprint, labels_in
from ipp_client import OK, Client
from printer_sim import SimulatedPrinter

PDF = os.path.join(SAMPLES, "shipping-label.pdf")
# Workers without a job end after this long here (30 s in service).
IDLE_MS = 1500


def workers_of(server_pid):
    """The render workers a server has started."""
    found = []
    for pid in children_of(server_pid):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                if b"--render-worker" in cmdline.read().split(b"\0"):
                    found.append(pid)
        except OSError:
            continue
    return found


def status_of(pid):
    """A process's /proc status lines, by name."""
    with open(f"/proc/{pid}/status") as status:
        return dict(line.rstrip("\n").split(":\t", 1) for line in status if ":\t" in line)


class Workers(SamplePages):
    PAGES = 40

    def test_a_worker_runs_walled_in_and_not_as_root(self):
        with AppServer() as app:
            app.add_printer()
            job = app.submit(PDF, "walled")
            self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
            self.assertEqual(app.printed("walled"), labelprint(PDF))
            workers = workers_of(app.process.pid)
            self.assertEqual(len(workers), 1)
            status = status_of(workers[0])
            self.assertEqual(status["NoNewPrivs"], "1")
            self.assertEqual(status["Seccomp"], "2")
            if os.geteuid() == 0:
                self.assertNotIn("0", status["Uid"].split(), status["Uid"])
                self.assertNotIn("0", status["Gid"].split(), status["Gid"])
                self.assertEqual(status["Groups"].split(), [])

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("capsh"),
                         "needs root and capsh (libcap2-bin)")
    def test_prints_with_no_more_privileges_than_the_service_has(self):
        # The systemd unit's CapabilityBoundingSet (kill, setgid, setuid)
        # and NoNewPrivileges.
        kept = {5, 6, 7}
        with open("/proc/sys/kernel/cap_last_cap") as last:
            dropped = [str(cap) for cap in range(int(last.read()) + 1) if cap not in kept]
        service = ["capsh", "--drop=" + ",".join(dropped), "--no-new-privs", "--",
                   "-c", 'exec "$@"', "service"]
        with AppServer(prefix=service) as app:
            app.add_printer()
            job = app.submit(PDF, "service")
            self.assertEqual(app.wait_for_job(job)["job-state"], "completed",
                             app.log()[-2000:])
            self.assertEqual(app.printed("service"), labelprint(PDF))

    @unittest.skipUnless(os.geteuid() == 0, "workers change user only under a root server")
    def test_a_missing_worker_user_is_told_at_start(self):
        app = AppServer(extra_options=["worker-user=no-such-label-user"])
        with self.assertRaises(RuntimeError):
            app.start()
        app.process.wait(timeout=20)
        self.assertIn("no user no-such-label-user for the render workers", app.errors())

    def test_a_pool_of_no_number_of_workers_is_told_at_start(self):
        for value in ("0", "-1", "two", "2x", "1025", ""):
            with self.subTest(value=value):
                app = AppServer(extra_options=[f"render-workers={value}"])
                self.addCleanup(shutil.rmtree, app.directory, True)
                if not value:  # no value: one for each core
                    app.start()
                    app.stop()
                    continue
                with self.assertRaises(RuntimeError):
                    app.start()
                app.process.wait(timeout=20)
                self.assertIn(f"render-workers={value}: a number of workers from 1 to 1024",
                              app.errors())

    def test_a_crashed_worker_fails_its_job_and_the_next_job_prints(self):
        with AppServer() as app:
            app.add_printer()
            # 200 labels: the worker still renders when the first is out
            # (a worker that has rendered its job is free for the next).
            job = app.submit(self.pages, "crashing", options=["copies=5"])
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
        # 200 labels each: the second printer's job starts the pool's second
        # worker meanwhile (seconds under AddressSanitizer on a busy machine).
        with AppServer(extra_options=["render-workers=2"]) as app:
            outputs = {}
            for name in ("A", "B"):
                outputs[name] = os.path.join(app.output, name)
                os.makedirs(outputs[name])
                app.add_printer(name, f"file://{outputs[name]}")
            jobs = {name: app.submit(self.pages, "forty", printer=name, options=["copies=5"])
                    for name in ("A", "B")}
            # Both printers have labels out before either job ends.
            deadline = time.time() + 60
            while time.time() < deadline:
                counts = [labels_in(os.path.join(outputs[n], "forty.prn")) for n in ("A", "B")]
                if min(counts) >= 1 or max(counts) >= 200:
                    break
                time.sleep(0.005)
            self.assertGreaterEqual(min(counts), 1, counts)
            self.assertLess(max(counts), 200, counts)
            expected = labelprint("--copies", "5", self.pages)
            for name, job in jobs.items():
                self.assertEqual(app.wait_for_job(job, printer=name)["job-state"], "completed")
                with open(os.path.join(outputs[name], "forty.prn"), "rb") as printed:
                    self.assertEqual(printed.read(), expected)
            self.assertEqual(len(workers_of(app.process.pid)), 2)


    def pool(self, size, printers):
        """A server whose pool holds `size` workers, with `printers` printers
        each printing to a directory of its own; the server and the
        directories by printer name."""
        app = AppServer(extra_options=[f"render-workers={size}"],
                        env={"LABEL_WORKER_IDLE_MS": str(IDLE_MS)})
        app.start()
        self.addCleanup(app.__exit__, None, None, None)
        outputs = {}
        for name in printers:
            outputs[name] = os.path.join(app.output, name)
            os.makedirs(outputs[name])
            app.add_printer(name, f"file://{outputs[name]}")
        return app, outputs

    def most_workers_until(self, app, done, timeout=120):
        """The most render workers the server ran at once until `done()`."""
        most, deadline = 0, time.time() + timeout
        while not done() and time.time() < deadline:
            most = max(most, len(workers_of(app.process.pid)))
            time.sleep(0.005)
        return most

    def test_printers_share_the_pools_workers_which_end_when_idle(self):
        names = [f"P{n}" for n in range(6)]
        app, outputs = self.pool(2, names)
        jobs = {name: app.submit(self.pages, "forty", printer=name) for name in names}
        printed = [os.path.join(outputs[name], "forty.prn") for name in names]
        most = self.most_workers_until(
            app, lambda: all(labels_in(path) == self.PAGES for path in printed))
        self.assertEqual(most, 2)
        expected = labelprint(self.pages)
        for name, job in jobs.items():
            self.assertEqual(app.wait_for_job(job, printer=name, timeout=120)["job-state"],
                             "completed")
            with open(os.path.join(outputs[name], "forty.prn"), "rb") as output:
                self.assertEqual(output.read(), expected, name)
        deadline = time.time() + IDLE_MS / 1000 + 20
        while workers_of(app.process.pid) and time.time() < deadline:
            time.sleep(0.1)
        self.assertEqual(workers_of(app.process.pid), [])
        # And a new job starts one again.
        job = app.submit(PDF, "again", printer="P0")
        self.assertEqual(app.wait_for_job(job, printer="P0")["job-state"], "completed")
        with open(os.path.join(outputs["P0"], "again.prn"), "rb") as output:
            self.assertEqual(output.read(), labelprint(PDF))

    def test_a_worker_killed_mid_job_costs_only_that_job(self):
        app, outputs = self.pool(1, ["A", "B", "C"])
        # 200 labels each: the worker still renders A's when its first is out.
        jobs = {name: app.submit(self.pages, "forty", printer=name, options=["copies=5"])
                for name in "ABC"}
        first = os.path.join(outputs["A"], "forty.prn")
        deadline = time.time() + 60
        while labels_in(first) < 1 and time.time() < deadline:
            time.sleep(0.005)
        workers = workers_of(app.process.pid)
        self.assertEqual(len(workers), 1)
        os.kill(workers[0], signal.SIGKILL)
        self.assertEqual(app.wait_for_job(jobs["A"], printer="A")["job-state"], "aborted")
        most = self.most_workers_until(
            app, lambda: labels_in(os.path.join(outputs["C"], "forty.prn")) == 5 * self.PAGES)
        self.assertLessEqual(most, 1)
        expected = labelprint("--copies", "5", self.pages)
        for name in "BC":
            self.assertEqual(app.wait_for_job(jobs[name], printer=name, timeout=120)["job-state"],
                             "completed")
            with open(os.path.join(outputs[name], "forty.prn"), "rb") as output:
                self.assertEqual(output.read(), expected, name)
        again = app.submit(PDF, "again", printer="A")
        self.assertEqual(app.wait_for_job(again, printer="A")["job-state"], "completed")
        with open(os.path.join(outputs["A"], "again.prn"), "rb") as output:
            self.assertEqual(output.read(), labelprint(PDF))

    def test_a_job_waiting_for_a_worker_can_be_canceled(self):
        app, outputs = self.pool(1, ["A", "B"])
        # 400 labels: the worker stays busy while the other job waits.
        busy = app.submit(self.pages, "forty", printer="A", options=["copies=10"])
        first = os.path.join(outputs["A"], "forty.prn")
        deadline = time.time() + 60
        while labels_in(first) < 1 and time.time() < deadline:
            time.sleep(0.005)
        waiting = app.submit(self.pages, "forty", printer="B")
        time.sleep(0.2)  # into the pool's queue
        self.assertEqual(Client(app.port, "B").cancel_job(waiting), OK)
        state = app.wait_for_job(waiting, printer="B", timeout=10)
        self.assertEqual(state["job-state"], "canceled", state)
        self.assertLess(labels_in(first), 10 * self.PAGES)  # A still printed
        self.assertEqual(labels_in(os.path.join(outputs["B"], "forty.prn")), 0)
        self.assertEqual(app.wait_for_job(busy, printer="A", timeout=120)["job-state"],
                         "completed")
        self.assertEqual(app.printed(os.path.join("A", "forty")),
                         labelprint("--copies", "10", self.pages))


    def test_a_slow_printer_does_not_hold_a_worker_while_it_prints(self):
        printers = {name: SimulatedPrinter(seconds_a_label=0.3) for name in "AB"}
        for printer in printers.values():
            self.addCleanup(printer.close)
        app = AppServer(extra_options=["render-workers=1"])
        app.start()
        self.addCleanup(app.__exit__, None, None, None)
        for name, printer in printers.items():
            app.add_printer(name, printer.uri)
        ten = os.path.join(self.scratch, "ten.pdf")
        subprocess.run(["qpdf", "--empty", "--pages", *[self.pages] * 1, "1-10", "--", ten],
                       check=True)
        jobs = {name: app.submit(ten, "ten", printer=name) for name in "AB"}
        # Ten labels take each printer 3 s; the one worker renders both
        # jobs in far less, so both print at once.
        deadline = time.time() + 60
        while min(p.labels() for p in printers.values()) < 1 and time.time() < deadline:
            time.sleep(0.01)
        counts = [p.labels() for p in printers.values()]
        self.assertGreaterEqual(min(counts), 1, counts)
        self.assertLess(max(counts), 10, counts)
        expected = labelprint(ten)
        for name, job in jobs.items():
            self.assertEqual(app.wait_for_job(job, printer=name)["job-state"], "completed")
            # The job ends once its last label is sent; the printer may
            # still be reading it.
            deadline = time.time() + 30
            while printers[name].labels() < 10 and time.time() < deadline:
                time.sleep(0.05)
            self.assertEqual([data for data, _ in printers[name].jobs()], [expected])


if __name__ == "__main__":
    unittest.main()
