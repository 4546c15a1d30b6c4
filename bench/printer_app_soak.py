#!/usr/bin/env python3
"""A long run of label-printer-app: 100 000 labels or more over ten minutes or
more, PWG raster and PDF jobs on network printers simulated on loopback, with
cancels and dropped printer connections among them. Every ten seconds it
notes the server's resident memory, its render workers' (PSS), the server's
open files and the spool directory's files and size; at the end every job is
accounted for: the labels the printers received are the labels the jobs say
they printed, give or take one resent label for each dropped connection.

    python3 bench/printer_app_soak.py [--labels 100000] [--minutes 10]
                                      [--printers 3] [--csv FILE]

Goal: memory, open files and the spool level off after the first minute; no
job lost, no label printed twice beyond the one a drop may cost."""

import argparse
import os
import socket
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "printerapp"))

import pwg_raster  # noqa: E402
from app_server import LABEL_END, SAMPLES, AppServer, children_of  # noqa: E402
from ipp_client import OK, Client  # noqa: E402
from test_printer_app import set_attributes  # noqa: E402

RASTER_LABELS = 10  # labels in each raster job
FINAL = ("completed", "canceled", "aborted")


class CountingPrinter:
    """A network printer that takes everything at once and counts the label
    programs it received; told to, it drops its connection as a printer
    switched off does (what it had not read is lost)."""

    def __init__(self):
        self.labels = 0
        self.drops = 0
        self.drop_now = False
        self.lock = threading.Lock()
        self.listener = socket.socket()
        # A printer's input buffer, not the kernel's megabytes: a reset may
        # cost the label it was taking and the one it had buffered, and the
        # job sends both again (see README on resets).
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.listener.settimeout(0.5)
        self.port = self.listener.getsockname()[1]
        self.closing = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while not self.closing:
            try:
                connection, _ = self.listener.accept()
            except socket.timeout:
                continue
            threading.Thread(target=self.take, args=(connection,), daemon=True).start()

    def take(self, connection):
        tail = b""
        connection.settimeout(0.5)
        with connection:
            while not self.closing:
                if self.drop_now:
                    self.drop_now = False
                    with self.lock:
                        self.drops += 1
                    connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                          b"\x01\x00\x00\x00\x00\x00\x00\x00")
                    return
                try:
                    data = connection.recv(1 << 16)
                except socket.timeout:
                    continue
                except OSError:
                    return
                if not data:
                    return
                seen = tail + data
                with self.lock:
                    self.labels += seen.count(LABEL_END)
                tail = seen[-(len(LABEL_END) - 1):]

    def close(self):
        self.closing = True
        self.thread.join(timeout=5)
        self.listener.close()


def raster_document(labels):
    rows = pwg_raster.box_page()
    page = pwg_raster.header(812, len(rows)) + b"".join(
        pwg_raster.encode_line(bytes(row)) for row in rows)
    return b"RaS2" + page * labels


class Feeder(threading.Thread):
    """One client sending one printer jobs one after another, a few waiting
    at a time: nine raster jobs of ten labels, then a PDF of two copies;
    every seventh job canceled at once."""

    def __init__(self, port, name, raster, pdf, stop):
        super().__init__(daemon=True)
        self.client = Client(port, name)
        self.raster, self.pdf, self.stop = raster, pdf, stop
        self.jobs = []  # every job ID sent
        self.ended = {}  # job ID: (its final state, the labels it says it printed)
        self.canceled = 0
        self.error = None

    def run(self):
        waiting = []
        number = 0
        try:
            while not self.stop.is_set():
                number += 1
                if number % 10 == 0:
                    status, job = self.client.print_job(self.pdf, "application/pdf", f"pdf-{number}",
                                                        [(0x21, "copies", 2)])
                else:
                    status, job = self.client.print_job(self.raster, "image/pwg-raster",
                                                        f"raster-{number}")
                if status != OK or job is None:
                    time.sleep(0.2)  # busy: send it again
                    number -= 1
                    continue
                self.jobs.append(job)
                if number % 7 == 0:
                    self.client.cancel_job(job)
                    self.canceled += 1
                waiting.append(job)
                while len(waiting) > 4:
                    if not self.ended_now(waiting[0]):
                        time.sleep(0.05)
                    else:
                        waiting.pop(0)
            while waiting:
                if not self.ended_now(waiting[0]):
                    time.sleep(0.1)
                else:
                    waiting.pop(0)
        except Exception as error:  # noqa: BLE001 - reported at the end
            self.error = error


    def ended_now(self, job):
        """Whether the job has ended; its end is noted while the printer still
        lists it (it keeps its hundred newest finished jobs)."""
        state, attributes = self.client.job(job)
        if state not in FINAL:
            return False
        self.ended[job] = (state, attributes.get("job-media-sheets-completed", [0])[0])
        return True


def kib(path, field):
    try:
        with open(path) as source:
            for line in source:
                if line.startswith(field):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def spool_use(directory):
    files = size = 0
    for root, _, names in os.walk(directory):
        for name in names:
            try:
                size += os.path.getsize(os.path.join(root, name))
                files += 1
            except OSError:
                pass
    return files, size


def sample(app, started, printers):
    pid = app.process.pid
    workers = children_of(pid)
    files, size = spool_use(app.spool)
    return {
        "seconds": time.time() - started,
        "labels": sum(printer.labels for printer in printers),
        "server_rss_mb": kib(f"/proc/{pid}/status", "VmRSS:") / 1024,
        "workers_pss_mb": sum(kib(f"/proc/{w}/smaps_rollup", "Pss:") for w in workers) / 1024,
        "workers": len(workers),
        "open_files": len(os.listdir(f"/proc/{pid}/fd")),
        "spool_files": files,
        "spool_kb": size / 1024,
    }


def account(app, feeders, printers):
    """Every job ended; the labels they say they printed against the ones
    received. Returns the problems in words."""
    problems = []
    printed = 0
    for feeder in feeders:
        if feeder.error:
            problems.append(f"{feeder.client.resource}: {feeder.error!r}")
        for job in feeder.jobs:
            state, sheets = feeder.ended.get(job, ("never ended", 0))
            if state not in ("completed", "canceled"):
                problems.append(f"job {job} {state}")
            printed += sheets
    received = sum(printer.labels for printer in printers)
    drops = sum(printer.drops for printer in printers)
    if not printed <= received <= printed + drops:
        problems.append(f"{received} labels received for {printed} printed ({drops} drops)")
    return problems, printed, received, drops


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--labels", type=int, default=100000)
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--printers", type=int, default=3)
    parser.add_argument("--csv", help="write every sample here")
    arguments = parser.parse_args()
    raster = raster_document(RASTER_LABELS)
    with open(os.path.join(SAMPLES, "shipping-label.pdf"), "rb") as pdf_file:
        pdf = pdf_file.read()
    printers = [CountingPrinter() for _ in range(arguments.printers)]
    stop = threading.Event()
    samples = []
    with AppServer(extra_options=["log-level=warn"]) as app:
        names = []
        for index, printer in enumerate(printers):
            name = f"Soak{index}"
            app.add_printer(name, f"socket://127.0.0.1:{printer.port}")
            # The counting printer answers no status query.
            result = set_attributes(app, ["ATTR boolean label-status-query-default false"],
                                    printer=name)
            if "[PASS]" not in result.stdout:
                raise RuntimeError(result.stdout)
            names.append(name)
        feeders = [Feeder(app.port, name, raster, pdf, stop) for name in names]
        started = time.time()
        for feeder in feeders:
            feeder.start()
        print(f"{'s':>5} {'labels':>8} {'/s':>6} {'server MB':>9} {'workers MB':>10} "
              f"{'procs':>5} {'files':>5} {'spool':>5} {'spool KB':>8}", flush=True)
        next_drop = started + 45
        last = None
        while True:
            time.sleep(10)
            now = time.time()
            if now >= next_drop:
                printers[int(now) % len(printers)].drop_now = True
                next_drop = now + 45
            point = sample(app, started, printers)
            samples.append(point)
            rate = (point["labels"] - last["labels"]) / (point["seconds"] - last["seconds"]) \
                if last else point["labels"] / point["seconds"]
            last = point
            print(f"{point['seconds']:5.0f} {point['labels']:8d} {rate:6.0f} "
                  f"{point['server_rss_mb']:9.1f} {point['workers_pss_mb']:10.1f} "
                  f"{point['workers']:5d} {point['open_files']:5d} {point['spool_files']:5d} "
                  f"{point['spool_kb']:8.0f}", flush=True)
            if point["labels"] >= arguments.labels and \
                    point["seconds"] >= arguments.minutes * 60:
                break
            if any(feeder.error for feeder in feeders):
                break
        stop.set()
        for feeder in feeders:
            feeder.join(timeout=300)
        time.sleep(2)
        problems, printed, received, drops = account(app, feeders, printers)
        end = sample(app, started, printers)
    for printer in printers:
        printer.close()
    if arguments.csv:
        with open(arguments.csv, "w") as out:
            out.write(",".join(samples[0]) + "\n")
            for point in samples + [end]:
                out.write(",".join(f"{value:.1f}" if isinstance(value, float) else str(value)
                                   for value in point.values()) + "\n")
    after_first_minute = [point for point in samples if point["seconds"] >= 60]
    jobs = sum(len(feeder.jobs) for feeder in feeders)
    canceled = sum(feeder.canceled for feeder in feeders)
    print(f"\n{jobs} jobs ({canceled} canceled), {printed} labels printed, {received} received, "
          f"{drops} dropped connections, {end['seconds']:.0f} s")
    for key, unit in (("server_rss_mb", "MB"), ("workers_pss_mb", "MB"), ("open_files", ""),
                      ("spool_files", ""), ("spool_kb", "KB")):
        values = [point[key] for point in after_first_minute] or [end[key]]
        print(f"{key:15} after the first minute: {min(values):8.1f} to {max(values):8.1f} {unit}; "
              f"at the end {end[key]:.1f}")
    if problems:
        print("PROBLEMS:\n  " + "\n  ".join(problems[:20]))
        sys.exit(1)


if __name__ == "__main__":
    main()
