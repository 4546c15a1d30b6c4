#!/usr/bin/env python3
"""Many printers, little memory: 100 network printers simulated on loopback,
each sent three 2-label PDF jobs at once, every label checked against
labelprint's. Reports the memory of the server and its render workers
(proportional set size, the sum over the server and its child processes)
with the printers idle, at the peak while the jobs print (sampled every
0.1 s), just after and once the workers' idle time has passed; and labels a
second, with the CPU the server and its workers spent on each label. Goals:
at most 150 MB at the peak and 30 MB idle, and no fewer labels for each
second of CPU than before.

    python3 bench/printer_app_many_printers.py [--build DIR] [--printers 100]
        [--jobs 3] [--idle-wait 35]

The first round of jobs is sampled for memory, a second one, unsampled, is
timed (reading a hundred processes' memory costs CPU of its own)."""

import argparse
import os
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "printerapp"))

import app_server  # noqa: E402
from app_server import SAMPLES, AppServer, children_of, labelprint  # noqa: E402
from ipp_client import OK, Client  # noqa: E402
from printer_sim import SimulatedPrinter  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def pss_kb(pid):
    """A process's proportional set size in kB, 0 once it has gone."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as rollup:
            for line in rollup:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def tree_pss_mb(pid):
    """The server's and its child processes' memory, in MB; and how many
    children it has."""
    children = children_of(pid)
    return (pss_kb(pid) + sum(pss_kb(child) for child in children)) / 1024, len(children)


def cpu_seconds(pid):
    """The CPU the server and its children used so far: its own, its ended
    and waited-for children's, and its live children's."""
    def fields(of):
        try:
            with open(f"/proc/{of}/stat") as stat:
                return [int(value) for value in stat.read().rsplit(")", 1)[1].split()[11:15]]
        except OSError:
            return [0, 0, 0, 0]
    total = sum(fields(pid))
    total += sum(sum(fields(child)[:2]) for child in children_of(pid))
    return total / TICKS


class Sampler:
    """Samples the server's memory every 0.1 s while it runs."""

    def __init__(self, pid):
        self.pid, self.peak, self.most_children = pid, 0.0, 0
        self.stopping = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopping:
            mb, children = tree_pss_mb(self.pid)
            self.peak = max(self.peak, mb)
            self.most_children = max(self.most_children, children)
            time.sleep(0.1)

    def stop(self):
        self.stopping = True
        self.thread.join()


def received(printer):
    """Everything a simulated printer received, status queries left out."""
    return b"".join(data for data, _ in printer.jobs())


def print_round(app, printers, jobs, document, expected, label):
    """Sends every printer `jobs` jobs at once; seconds until every label
    arrived, checked against `expected` (each job's bytes) and each job
    completed."""
    ids, failures = {}, []
    # A printer's jobs may come on one connection: what arrived is counted
    # in labels and compared as one stream.
    before = {name: len(received(printer)) for name, printer in printers.items()}

    def send(name):
        client = Client(app.port, name)
        for index in range(jobs):
            status, job = client.print_job(document, "application/pdf", f"{label}-{index}")
            if status != OK:
                failures.append(f"{name}: Print-Job {status:#06x}")
            ids.setdefault(name, []).append(job)

    started = time.time()
    threads = [threading.Thread(target=send, args=(name,)) for name in printers]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise RuntimeError("; ".join(failures[:5]))
    deadline = time.time() + 600
    wanted = expected.count(app_server.LABEL_END) * jobs
    while any(received(printer)[before[name]:].count(app_server.LABEL_END) < wanted
              for name, printer in printers.items()):
        if time.time() > deadline:
            raise RuntimeError("not every job arrived within 10 minutes")
        time.sleep(0.01)
    elapsed = time.time() - started
    for name, printer in printers.items():
        client = Client(app.port, name)
        for job in ids[name]:
            while client.job(job)[0] not in ("completed", "canceled", "aborted"):
                time.sleep(0.01)
            if client.job(job)[0] != "completed":
                raise RuntimeError(f"job {job} of {name} did not complete")
        if received(printer)[before[name]:] != expected * jobs:
            raise RuntimeError(f"{name} received other labels than labelprint makes")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=app_server.BUILD, help="the build to run")
    parser.add_argument("--printers", type=int, default=100)
    parser.add_argument("--jobs", type=int, default=3, help="jobs sent to each printer at once")
    parser.add_argument("--idle-wait", type=float, default=35,
                        help="seconds to wait for idle workers to end (35)")
    arguments = parser.parse_args()
    app_server.APP = os.path.join(arguments.build, "bin", "label-printer-app")
    app_server.LABELPRINT = os.path.join(arguments.build, "bin", "labelprint")

    scratch = tempfile.mkdtemp(prefix="label-bench-")
    two = os.path.join(scratch, "two-labels.pdf")
    sample = os.path.join(SAMPLES, "shipping-label.pdf")
    subprocess.run(["qpdf", "--empty", "--pages", sample, sample, "--", two], check=True)
    with open(two, "rb") as pdf:
        document = pdf.read()
    expected = labelprint(two)
    labels = arguments.printers * arguments.jobs * 2

    printers = {f"P{n}": SimulatedPrinter(seconds_a_label=0) for n in range(arguments.printers)}
    try:
        with AppServer(extra_options=["log-level=warn"]) as app:
            pid = app.process.pid
            for name, printer in printers.items():
                app.add_printer(name, printer.uri)
            time.sleep(2)
            start_mb, start_children = tree_pss_mb(pid)

            sampler = Sampler(pid)
            cpu = cpu_seconds(pid)
            sampled = print_round(app, printers, arguments.jobs, document, expected, "sampled")
            sampler.stop()
            time.sleep(1)
            after_mb, after_children = tree_pss_mb(pid)

            cpu = cpu_seconds(pid)
            timed = print_round(app, printers, arguments.jobs, document, expected, "timed")
            cpu = cpu_seconds(pid) - cpu

            time.sleep(arguments.idle_wait)
            idle_mb, idle_children = tree_pss_mb(pid)
    finally:
        for printer in printers.values():
            printer.close()
        subprocess.run(["rm", "-rf", scratch])

    print(f"{arguments.build}: {arguments.printers} network printers, "
          f"{arguments.jobs} jobs of 2 labels each at once, every label right")
    print(f"  memory (PSS, server + children): {start_mb:6.1f} MB idle after start "
          f"({start_children} children)")
    print(f"                                   {sampler.peak:6.1f} MB peak (goal 150; "
          f"at most {sampler.most_children} children)")
    print(f"                                   {after_mb:6.1f} MB 1 s after the jobs "
          f"({after_children} children)")
    print(f"                                   {idle_mb:6.1f} MB {arguments.idle_wait:.0f} s "
          f"after the jobs (goal 30; {idle_children} children)")
    print(f"  throughput: {labels / timed:6.1f} labels/s ({labels} labels in {timed:.2f} s; "
          f"sampled round {labels / sampled:.1f}), {cpu / labels * 1000:.1f} ms CPU a label "
          f"({labels / cpu:.1f} labels a CPU second, {os.cpu_count()} cores)")


if __name__ == "__main__":
    main()
