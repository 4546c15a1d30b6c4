#!/usr/bin/env python3
"""The server's memory over bursts of jobs: 1 000 4 x 6 raster Print-Jobs in
one ipptool run, then quiet while the finished jobs are forgotten, three
times. Prints the jobs the printer still lists and the server's resident
memory after each burst and after each wait. Goal: back to the start's
figure plus the printer's hundred kept jobs after every wait, the same after
every burst (flat).

    python3 bench/printer_app_forgotten_jobs.py [--bursts 3] [--wait 80]"""

import argparse
import os
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "printerapp"))

from app_server import AppServer  # noqa: E402
from ipp_client import KEYWORD, Client  # noqa: E402
from printer_app_throughput import GET_JOBS, Bench, raster_sample, vm_rss_kib  # noqa: E402


def jobs_listed(app):
    _, attributes = Client(app.port, "Label").send(
        GET_JOBS, [(KEYWORD, "which-jobs", "all"), (KEYWORD, "requested-attributes", "job-id")])
    return len(attributes.get("job-id", []))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bursts", type=int, default=3)
    parser.add_argument("--wait", type=int, default=80, help="seconds after each burst (80)")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="label-app-bench-") as scratch:
        raster, expected = raster_sample(scratch)
        with AppServer(extra_options=["log-level=warn"]) as app:
            app.add_printer()
            bench, pid = Bench(app, scratch), app.process.pid
            print(f"start: VmRSS {vm_rss_kib(pid)} KiB", flush=True)
            for burst in range(1, args.bursts + 1):
                figures = bench.batch("raster", raster, "image/pwg-raster", 1000, expected, False)
                print(f"burst {burst}: {figures['rate']:.0f} labels/s; {jobs_listed(app)} jobs "
                      f"listed, VmRSS {vm_rss_kib(pid)} KiB", flush=True)
                time.sleep(args.wait)
                print(f"  {args.wait} s later: {jobs_listed(app)} jobs listed, "
                      f"VmRSS {vm_rss_kib(pid)} KiB", flush=True)


if __name__ == "__main__":
    main()
