"""The printer talks back: a network printer simulated on loopback answers
the status query as the test says, drops the connection, stops reading or
never answers; the job waits and no label is lost, every other printer goes
on, and clients see why in printer-state-reasons and the messages."""

import os
import time
import unittest
import urllib.request

from app_server import LABEL_END, SAMPLES, AppServer, SamplePages, labelprint
from ipp_client import OK, Client
from printer_sim import SimulatedPrinter
from test_printer_app import set_attributes

OUT_OF_PAPER = 0x04


def until(condition, seconds, step=0.05):
    """Waits for `condition()`; its last value."""
    deadline = time.time() + seconds
    value = condition()
    while not value and time.time() < deadline:
        time.sleep(step)
        value = condition()
    return value


def label_programs(stream):
    """The label programs of a spool stream, each ending in its PRINT line."""
    programs, start = [], 0
    while (end := stream.find(LABEL_END, start)) >= 0:
        programs.append(stream[start:end + len(LABEL_END)])
        start = end + len(LABEL_END)
    return programs


class ActionSubCommand(unittest.TestCase):
    def test_the_action_sub_command_reaches_an_idle_printer_only(self):
        printer = SimulatedPrinter()
        self.addCleanup(printer.close)
        with AppServer() as app:
            app.add_printer()
            app.add_printer("Net", printer.uri)

            def act(name, action):
                return app.app("action", "-u", app.system_uri, "-d", name, "-o",
                               f"action={action}")

            refused = act("Label", "feed")
            self.assertEqual(refused.returncode, 1)
            self.assertIn("this printer's labels go to a file", refused.stderr)
            for action, sent in (("feed", b"FORMFEED\r\n"), ("calibrate", b"AUTODETECT\r\n"),
                                 ("beep", b"SOUND 5,200\r\n")):
                before = len(printer.connections)
                result = act("Net", action)
                self.assertEqual(result.returncode, 0, result.stderr)
                deadline = time.time() + 10
                while [data for data in printer.connections[before:] if data] != [sent]:
                    self.assertLess(time.time(), deadline, printer.connections[before:])
                    time.sleep(0.05)
            self.assertEqual(act("Net", "fly").returncode, 1)

            # The printer takes a label, then nothing until it is let go on:
            # the job is still sending when the action is asked.
            printer.stop_reading_after = printer.labels() + 1
            job = app.submit(os.path.join(SAMPLES, "shipping-label.pdf"), "busy", printer="Net",
                             options=["copies=8"])
            self.assertTrue(until(lambda: printer.labels() >= printer.stop_reading_after, 30))
            busy = act("Net", "feed")
            printer.stop_reading_after = None
            self.assertEqual(busy.returncode, 1)
            self.assertIn("try again", busy.stderr)
            self.assertEqual(app.wait_for_job(job, "Net")["job-state"], "completed")
            self.assertNotIn(b"FORMFEED", b"".join(printer.connections[-2:]))


class PrinterTalksBack(SamplePages):

    def setUp(self):
        self.printer = SimulatedPrinter(seconds_a_label=0.15)
        self.addCleanup(self.printer.close)
        self.app = AppServer()
        self.app.start()
        self.addCleanup(self.app.__exit__)
        self.app.add_printer(device=self.printer.uri)
        self.client = Client(self.app.port, "Label")

    def test_out_of_labels_holds_the_job_and_every_label_arrives_once(self):
        job = self.app.submit(self.pages, "ten")
        self.assertTrue(until(lambda: self.printer.labels() >= 3, 30))
        self.printer.status = OUT_OF_PAPER
        out_at = time.time()
        reasons = until(lambda: "media-empty-error" in self.client.printer()[0] and
                        self.client.printer(), 5)
        self.assertTrue(reasons, self.client.printer())
        self.assertIn("media-needed-error", reasons[0])
        self.assertIn("Out of labels", reasons[1])
        self.assertIn("printer-stopped", self.app.job(job)["job-state-reasons"])
        page = f"http://127.0.0.1:{self.app.port}/Label/label-settings"
        with urllib.request.urlopen(page, timeout=10) as response:
            self.assertIn("Printer status: Out of labels", response.read().decode())
        held = self.printer.labels()
        time.sleep(max(0.0, 5 - (time.time() - out_at)))
        self.assertLessEqual(self.printer.labels(), held + 1, "labels went on while it was out")
        self.printer.status = 0
        self.assertEqual(self.app.wait_for_job(job)["job-state"], "completed")
        self.assertEqual([data for data, _ in self.printer.jobs()], [labelprint(self.pages)])
        self.assertTrue(until(lambda: "media-empty-error" not in self.client.printer()[0], 5),
                        self.client.printer())

    def test_a_dropped_connection_goes_on_with_the_job_start_commands_again(self):
        # Dropped after a label, or near the end of one, when all of it has
        # been written and only the printer's acknowledgement says it is
        # not in.
        for inside in (False, True):
            with self.subTest(inside=inside):
                self.dropped_job_goes_on(inside)

    def dropped_job_goes_on(self, inside):
        with self.printer.lock:
            self.printer.connections.clear()
            self.printer.queries.clear()
        self.printer.drop_after, self.printer.away_for = 3, 1.0
        self.printer.drop_inside = inside
        commands = ["label-job-start-enabled=true", "label-job-start-command=1B40"]
        job = self.app.submit(self.pages, "ten", options=commands)
        self.assertEqual(self.app.wait_for_job(job, timeout=60)["job-state"], "completed")
        expected = label_programs(labelprint("--job-start", "1B40", self.pages))
        first, *rest = [data for data, _ in self.printer.jobs()]
        self.assertEqual(len(rest), 1, "one new connection")
        whole = label_programs(first)
        self.assertTrue(rest[0].startswith(b"\x1b@"), rest[0][:20])
        again = label_programs(rest[0][2:])
        # No label lost: the new connection starts at the first label not
        # wholly taken, or at the one before it, which so prints twice.
        self.assertIn(len(whole) + len(again), (10, 11), (len(whole), len(again)))
        self.assertEqual(first[:sum(map(len, whole))], b"".join(expected[:len(whole)]))
        self.assertEqual(b"".join(again), b"".join(p.lstrip(b"\x1b@") if i == 0 else p
                                                   for i, p in enumerate(expected))[-sum(map(len, again)):])

    def test_a_printer_reset_with_a_label_buffered_loses_no_label(self):
        # It prints three labels, takes the fourth whole into its buffer (so
        # the connection acknowledged it) and is reset: the job sends the
        # fourth again; at most one label prints twice, none is lost.
        with self.printer.lock:
            self.printer.connections.clear()
            self.printer.queries.clear()
        self.printer.reset_buffered_after, self.printer.away_for = 3, 1.0
        job = self.app.submit(self.pages, "reset")
        self.assertEqual(self.app.wait_for_job(job, timeout=60)["job-state"], "completed")
        expected = label_programs(labelprint(self.pages))
        received = [label for data, _ in self.printer.jobs() for label in label_programs(data)]
        # The document's labels are alike: what counts is that none is
        # missing, and that at most one came twice.
        self.assertIn(len(received), (len(expected), len(expected) + 1), "labels received")
        self.assertTrue(all(label in expected for label in received), "a label came mangled")

    def test_a_job_ends_only_once_the_printer_took_its_last_label(self):
        # Small labels: the job's last two fit in the connection's buffers
        # while the printer reads nothing, and are lost when it is reset.
        self.printer.reset_idle_after, self.printer.away_for = 2, 1.0
        job = self.app.submit(os.path.join(SAMPLES, "shipping-label.pdf"), "small",
                              options=["copies=4", "media=om_50x30mm_50x30mm"])
        self.assertTrue(until(lambda: self.printer.labels() >= 2, 30))
        # The printer is reset a second after its second label, and the job
        # cannot end before it is back.
        time.sleep(0.3)
        self.assertEqual(self.app.job(job)["job-state"], "processing",
                         "the job ended with its last labels on their way")
        self.assertEqual(self.app.wait_for_job(job, timeout=60)["job-state"], "completed")
        printed, *again = [label_programs(data) for data, _ in self.printer.jobs()]
        self.assertEqual(len(printed), 2)
        self.assertEqual(len(again), 1, "one new connection")
        # The new connection starts with the second label or the third.
        self.assertIn(len(again[0]), (2, 3))

    def test_a_server_killed_mid_job_prints_its_queue_when_it_starts_again(self):
        self.restarts(lambda process: process.kill())

    def test_a_server_stopped_mid_job_stops_at_once_and_prints_its_queue_after(self):
        def stop(process):
            asked = time.time()
            process.terminate()
            process.wait(timeout=30)
            self.assertLess(time.time() - asked, 5, "seconds to stop")
        self.restarts(stop)

    def restarts(self, end):
        """Three jobs queued, the first printing; the server ended by `end`
        and started again on the same spool directory: every label of the
        three arrives, at most one twice."""
        jobs = [self.app.submit(self.pages, name) for name in ("first", "second", "third")]
        self.assertTrue(until(lambda: self.printer.labels() >= 3, 30))
        self.assertTrue(self.app.saved_job(jobs[-1]), "the last job never reached the state")
        end(self.app.process)
        self.app.process.wait(timeout=30)
        self.app.process = None
        again = AppServer(self.app.directory, port=self.app.port)
        again.start()
        self.addCleanup(again.__exit__)
        for job in jobs:
            self.assertEqual(again.wait_for_job(job, timeout=60)["job-state"], "completed")
        expected = label_programs(labelprint(self.pages))
        received = [label for data, _ in self.printer.jobs() for label in label_programs(data)]
        self.assertIn(len(received), (3 * len(expected), 3 * len(expected) + 1),
                      "labels received")
        self.assertTrue(all(label in expected for label in received), "a label came mangled")

    def test_a_printer_that_stops_reading_is_reported_and_others_print_meanwhile(self):
        self.printer.stop_reading_after = 2
        other = os.path.join(self.app.output, "other")
        os.makedirs(other)
        self.app.add_printer("Other", f"file://{other}")
        job = self.app.submit(self.pages, "stalled")
        self.assertTrue(until(lambda: self.printer.labels() >= 2, 30))
        # Meanwhile another printer prints as if nothing were wrong.
        meanwhile = self.app.submit(self.pages, "meanwhile", printer="Other")
        self.assertEqual(self.app.wait_for_job(meanwhile, printer="Other")["job-state"],
                         "completed")
        with open(os.path.join(other, "meanwhile.prn"), "rb") as printed:
            self.assertEqual(printed.read(), labelprint(self.pages))
        reasons = until(lambda: "offline-report" in self.client.printer()[0] and
                        self.client.printer(), 25, step=0.5)
        self.assertTrue(reasons, self.client.printer())
        self.assertIn("takes no data", reasons[1])
        self.assertIn("taken no data", self.app.job(job).get("job-state-message", ""))
        self.assertEqual(self.client.cancel_job(job), OK)
        self.assertEqual(self.app.wait_for_job(job, timeout=5)["job-state"], "canceled")

    def test_a_printer_that_never_answers_is_asked_once_a_job(self):
        self.printer.answers = False
        job = self.app.submit(self.pages, "ten")
        self.assertEqual(self.app.wait_for_job(job, timeout=60)["job-state"], "completed")
        self.assertEqual(self.printer.jobs(), [(labelprint(self.pages), 1)])
        reasons = self.client.printer()[0]
        self.assertFalse([r for r in reasons if r.startswith(("media", "offline", "cover"))])

    def test_the_status_query_can_be_turned_off(self):
        result = set_attributes(self.app, ["ATTR boolean label-status-query-default false"])
        self.assertIn("[PASS]", result.stdout, result.stdout)
        asked = sum(self.printer.queries)
        job = self.app.submit(self.pages, "quiet")
        self.assertEqual(self.app.wait_for_job(job, timeout=60)["job-state"], "completed")
        self.client.printer()
        self.assertEqual(sum(self.printer.queries), asked)
        self.assertEqual(self.printer.jobs(), [(labelprint(self.pages), 0)])


if __name__ == "__main__":
    unittest.main()
