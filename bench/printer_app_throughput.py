#!/usr/bin/env python3
"""Labels per second through label-printer-app, end to end: IPP Print-Job of a
4 x 6 label to the bytes at the printer's file device, for a PWG raster page
and for a PDF, with the server's resident memory as jobs go by.

    python3 bench/printer_app_throughput.py [--jobs 1000] [--warm 50]

Each batch is one ipptool run sending its jobs one after another on one
connection, as a client does. Every document is spooled and answered at
once (PAPPL 1.4, which prints raster as it arrives, may answer
server-error-busy: the client then sends that one again, so retries count in
the time), so jobs queue at the printer ("queued"); "waited" PDF jobs each wait for the one before to complete, as
a client that follows its jobs does. The clock runs from the first request
until every label's bytes are complete at the device and no job is left
unfinished. CPU is the server's own (all its threads, not its render workers') and
the client's.
Goals on 2 cores: 1 300 raster and 80 PDF labels a second, and memory at
most 12 MB and flat after the first jobs.

    python3 bench/printer_app_throughput.py --base /work/main/build [--rounds 3]

measures another build side by side with this one (--base: its build
directory or its label-printer-app): a server of each, their batches taking
turns, each kind's "next" batch --rounds times on each; the machine's load
then weighs on both alike. It reports each build's median rate, the ratio,
and each server's memory after every batch."""

import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "printerapp"))

import pwg_raster  # noqa: E402
from app_server import SAMPLES, AppServer, labelprint  # noqa: E402
from ipp_client import KEYWORD, OK, Client  # noqa: E402

GET_JOBS = 0x000A

PRINT_JOB = """{{
  NAME "{name}"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name bench
  ATTR name job-name {name}
  ATTR mimeMediaType document-format {format}
  FILE {path}
  DELAY "0,0.002"
  STATUS successful-ok
  STATUS server-error-busy REPEAT-MATCH REPEAT-LIMIT 100000
  EXPECT job-id
}}
"""

# After a Print-Job: ask until the job is completed (ipptool keeps the last
# job-id it was given in $job-id).
WAIT_FOR_JOB = """{
  NAME "completed"
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job-id
  ATTR keyword requested-attributes job-state
  DELAY "0,0.002"
  STATUS successful-ok
  EXPECT job-state WITH-VALUE 9 REPEAT-NO-MATCH REPEAT-LIMIT 100000
}
"""



def vm_rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def children_cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


class Bench:
    def __init__(self, app, scratch):
        self.app, self.scratch, self.count = app, scratch, 0

    def batch(self, kind, path, format_, jobs, expected, wait_each):
        """Sends `jobs` jobs in one ipptool run: a dict of figures."""
        names = [f"{kind}-{self.count + i:05d}" for i in range(jobs)]
        self.count += jobs
        test_file = os.path.join(self.scratch, "batch.test")
        with open(test_file, "w") as test:
            for name in names:
                test.write(PRINT_JOB.format(name=name, format=format_, path=path))
                if wait_each:
                    test.write(WAIT_FOR_JOB)
        server_cpu, client_cpu = cpu_seconds(self.app.process.pid), children_cpu_seconds()
        start = time.perf_counter()
        sent = subprocess.run(["ipptool", "-t", self.app.printer_uri(), test_file],
                              capture_output=True, text=True)
        tests = jobs * (2 if wait_each else 1)
        if sent.returncode != 0 or f"{tests} passed, 0 failed" not in sent.stdout:
            raise RuntimeError(f"ipptool failed:\n{sent.stdout[-3000:]}{sent.stderr}")
        submitted = time.perf_counter()
        self.wait_for_labels(names, len(expected))
        while self.not_completed():  # the last job's state catches up with its bytes
            time.sleep(0.005)
        elapsed = time.perf_counter() - start
        server_cpu = cpu_seconds(self.app.process.pid) - server_cpu
        client_cpu = children_cpu_seconds() - client_cpu
        if self.app.printed(names[-1]) != expected:
            raise RuntimeError(f"{names[-1]} is not labelprint's label")
        for name in names:
            os.unlink(os.path.join(self.app.output, name + ".prn"))
        return {"rate": jobs / elapsed, "elapsed": elapsed, "sent": submitted - start,
                "server_ms": 1000 * server_cpu / jobs, "client_ms": 1000 * client_cpu / jobs,
                "rss": vm_rss_kib(self.app.process.pid)}

    def wait_for_labels(self, names, size):
        waiting = set(names)
        deadline = time.time() + 600
        while waiting:
            for name in list(waiting):
                try:
                    if os.path.getsize(os.path.join(self.app.output, name + ".prn")) == size:
                        waiting.discard(name)
                except OSError:
                    pass
            if not waiting:
                return
            if self.app.process.poll() is not None:
                raise RuntimeError(f"the server ended ({self.app.process.returncode}) with "
                                   f"{len(waiting)} labels still to come")
            if time.time() > deadline:
                strays = sorted(set(os.listdir(self.app.output)) - {n + ".prn" for n in names})
                raise RuntimeError(f"{len(waiting)} labels never arrived, e.g. "
                                   f"{sorted(waiting)[:5]}; other files {strays[:5]}")
            time.sleep(0.005)

    def not_completed(self):
        """The printer's jobs not completed yet (one Get-Jobs, asked here
        rather than by another ipptool, which would cost its start-up)."""
        status, attributes = Client(self.app.port, "Label").send(
            GET_JOBS, [(KEYWORD, "which-jobs", "not-completed"),
                       (KEYWORD, "requested-attributes", "job-id")])
        if status != OK:
            raise RuntimeError(f"Get-Jobs: {status:#06x}")
        return attributes.get("job-id", [])


def raster_sample(scratch):
    """A 4 x 6 black_1 PWG raster label in `scratch`, and labelprint's bytes
    for the same picture: (path, bytes)."""
    rows = pwg_raster.box_page()
    raster, pbm = os.path.join(scratch, "label.pwg"), os.path.join(scratch, "label.pbm")
    with open(raster, "wb") as out:
        out.write(pwg_raster.black_1(rows, 812))
    with open(pbm, "wb") as out:
        out.write(pwg_raster.pbm(rows, 812))
    return raster, labelprint(pbm)


def program_of(build):
    """A build directory's label-printer-app, or the program named."""
    return os.path.join(build, "bin", "label-printer-app") if os.path.isdir(build) else build


def report(name, kind, part, jobs, goal, bench, f):
    print(f"{name:5} {kind:10} {part:5} {jobs:4} jobs: {f['rate']:6.1f} labels/s"
          f"{f'  (goal {goal})' if part == 'next' else '':12} "
          f"{f['elapsed']:6.2f} s (sent in {f['sent']:.2f} s); CPU a label: "
          f"server {f['server_ms']:.2f} ms, client {f['client_ms']:.2f} ms; "
          f"VmRSS after {bench.count} jobs {f['rss']} KiB", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--jobs", type=int, default=1000, help="jobs of each kind (1000)")
    parser.add_argument("--warm", type=int, default=50, help="first jobs, measured apart (50)")
    parser.add_argument("--log-level", default="warn", help="the server's (warn)")
    parser.add_argument("--kinds", default="raster,pdf-waited,pdf-queued",
                        help="of raster, pdf-waited, pdf-queued (all, in this order)")
    parser.add_argument("--base", help="another build to measure side by side: its build "
                        "directory or its label-printer-app")
    parser.add_argument("--rounds", type=int, default=None,
                        help="\"next\" batches of each kind on each build (1; 3 with --base)")
    args = parser.parse_args()
    rounds = args.rounds or (3 if args.base else 1)
    builds = [("this", None)] + ([("base", program_of(args.base))] if args.base else [])

    with tempfile.TemporaryDirectory(prefix="label-app-bench-") as scratch:
        raster, raster_label = raster_sample(scratch)
        pdf = os.path.join(SAMPLES, "shipping-label.pdf")
        pdf_label = labelprint(pdf)
        kinds = {"raster": (raster, "image/pwg-raster", raster_label, False, 1300),
                 "pdf-waited": (pdf, "application/pdf", pdf_label, True, 80),
                 "pdf-queued": (pdf, "application/pdf", pdf_label, False, 80)}

        servers, benches = [], {}
        try:
            for name, program in builds:
                app = AppServer(extra_options=[f"log-level={args.log_level}"], program=program)
                servers.append(app)
                app.start()
                app.add_printer()
                benches[name] = Bench(app, scratch)
                pid = app.process.pid
                print(f"{name:5} server {app.program} pid {pid}, VmRSS {vm_rss_kib(pid)} KiB at "
                      f"start", flush=True)
            print(f"load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores", flush=True)
            rates = {}
            for kind in args.kinds.split(","):
                path, format_, expected, wait_each, goal = kinds[kind]
                for name, _ in builds:
                    f = benches[name].batch(kind, path, format_, args.warm, expected, wait_each)
                    report(name, kind, "first", args.warm, goal, benches[name], f)
                for turn in range(rounds):
                    # Each build goes first every other round.
                    order = builds if turn % 2 == 0 else builds[::-1]
                    for name, _ in order:
                        f = benches[name].batch(kind, path, format_, args.jobs - args.warm,
                                                expected, wait_each)
                        rates.setdefault((kind, name), []).append(f["rate"])
                        report(name, kind, "next", args.jobs - args.warm, goal, benches[name], f)
                if args.base:
                    this = statistics.median(rates[(kind, "this")])
                    base = statistics.median(rates[(kind, "base")])
                    print(f"{kind}: this {this:.1f} labels/s, base {base:.1f} labels/s (medians of "
                          f"{rounds}): {this / base:.2f} times", flush=True)
        finally:
            for app in servers:
                app.__exit__(None, None, None)
        print(f"load average {os.getloadavg()[0]:.2f} at the end")


if __name__ == "__main__":
    main()
