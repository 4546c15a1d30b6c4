#!/usr/bin/env python3
"""The server's memory within one job: a 10-label job, then a 5 000-label job
(the same ten 4 x 6 raster pages, 500 copies), each to a printer whose device
is /dev/null. The server's resident memory is sampled every 5 ms while each
job prints; the largest sample of each job is reported. Goal: the long job
takes no more than the short one.

    python3 bench/printer_app_job_memory.py [--copies 500]"""

import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "printerapp"))

import pwg_raster  # noqa: E402
from app_server import AppServer  # noqa: E402
from ipp_client import INTEGER, OK, Client  # noqa: E402


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def peak_while_printing(app, client, document, copies):
    """Prints the job; the largest resident memory seen, and the seconds."""
    status, job = client.print_job(document, "image/pwg-raster", f"copies-{copies}",
                                   [(INTEGER, "copies", copies)])
    if status != OK:
        raise RuntimeError(f"Print-Job: status {status:#06x}")
    peak, started = 0, time.time()
    while True:
        peak = max(peak, rss_kib(app.process.pid))
        state, attributes = client.job(job)
        if state in ("completed", "canceled", "aborted"):
            break
        time.sleep(0.005)
    if state != "completed":
        raise RuntimeError(f"the job ended {state}: {attributes}")
    return peak, time.time() - started, attributes["job-impressions-completed"][0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--copies", type=int, default=500, help="copies of the long job (500)")
    arguments = parser.parse_args()
    page = pwg_raster.black_1(pwg_raster.box_page(), 812)
    document = page + page[4:] * 9
    with AppServer(extra_options=["log-level=warn"]) as app:
        app.add_printer(device="file:///dev/null")
        client = Client(app.port, "Label")
        print(f"server at start: {rss_kib(app.process.pid)} KiB resident")
        for copies in (1, arguments.copies):
            peak, seconds, labels = peak_while_printing(app, client, document, copies)
            print(f"{labels:5d} labels: peak {peak} KiB resident while printing "
                  f"({seconds:.1f} s, {labels / seconds:.0f} labels/s)")


if __name__ == "__main__":
    main()
