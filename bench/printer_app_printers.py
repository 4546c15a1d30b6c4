#!/usr/bin/env python3
"""PDF labels a second through label-printer-app on one printer and on two
side by side: the sample 4 x 6 PDF, queued as fast as a client sends it, to
file devices, timed from the first request until every job has completed.
Printers render in the server's pool of workers, one for each core, so two
printers should print at about twice the rate of one on two cores. Goals: 80 labels a second
on one printer, 1.6 times that on two (two printers' jobs in at most 0.6 of
the time one printer takes for them all).

    python3 bench/printer_app_printers.py [--jobs 200]"""

import argparse
import os
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "printerapp"))

from app_server import SAMPLES, AppServer  # noqa: E402
from ipp_client import OK, Client  # noqa: E402


def run(app, printers, jobs, document, label):
    """Sends `jobs` jobs spread over `printers`; seconds until all completed."""
    ids = {name: [] for name in printers}

    def send(name, count):
        client = Client(app.port, name)
        for index in range(count):
            status, job = client.print_job(document, "application/pdf", f"{label}-{index}")
            if status != OK:
                raise RuntimeError(f"Print-Job: {status:#06x}")
            ids[name].append(job)

    started = time.time()
    threads = [threading.Thread(target=send, args=(name, jobs // len(printers)))
               for name in printers]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    # A printer prints its jobs in order: the clock stops when each printer's
    # last job has ended; every job's state is checked after. Until its
    # label file appears that job is only looked for on disk, not asked
    # about: each request is a connection and a thread of the server, and
    # asking every few milliseconds was a third of the server's work.
    for name, jobs_of in ids.items():
        last = os.path.join(app.output, name, f"{label}-{jobs // len(printers) - 1}.prn")
        while not os.path.exists(last):
            time.sleep(0.002)
        client = Client(app.port, name)
        while client.job(jobs_of[-1])[0] not in ("completed", "canceled", "aborted"):
            time.sleep(0.005)
    elapsed = time.time() - started
    for name, jobs_of in ids.items():
        client = Client(app.port, name)
        for job in jobs_of:
            if client.job(job)[0] != "completed":
                raise RuntimeError(f"job {job} of {name} did not complete")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--jobs", type=int, default=200, help="jobs in each run (200)")
    arguments = parser.parse_args()
    with open(os.path.join(SAMPLES, "shipping-label.pdf"), "rb") as pdf:
        document = pdf.read()
    with AppServer(extra_options=["log-level=warn"]) as app:
        for name in ("A", "B"):
            os.makedirs(os.path.join(app.output, name))
            app.add_printer(name, f"file://{os.path.join(app.output, name)}")
        run(app, ["A", "B"], 20, document, "warm")  # both of the pool's workers started
        one = run(app, ["A"], arguments.jobs, document, "one")
        two = run(app, ["A", "B"], arguments.jobs, document, "two")
        print(f"one printer:  {arguments.jobs / one:6.1f} labels/s ({one:.2f} s, goal 80)")
        print(f"two printers: {arguments.jobs / two:6.1f} labels/s ({two:.2f} s); "
              f"{one / two:.2f} times one printer's rate (goal 1.6), "
              f"{two / one:.2f} of its time (goal 0.6)")


if __name__ == "__main__":
    main()
