"""A private label-printer-app server for tests: its own spool directory and
log, on a free loopback port, started by the test and stopped by it."""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ.get("LABEL_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
APP = os.path.join(BUILD, "bin", "label-printer-app")
LABELPRINT = os.path.join(BUILD, "bin", "labelprint")
SAMPLES = os.path.join(os.path.dirname(__file__), "../../tools/samples")

PRINTER_ATTRIBUTES_TEST = """{
  OPERATION Get-Printer-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR keyword requested-attributes all
  STATUS successful-ok
  %s
}
"""

JOB_ATTRIBUTES_TEST = """{
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job_id
  ATTR name requesting-user-name $user
  ATTR keyword requested-attributes job-state,job-state-message,job-state-reasons
  STATUS successful-ok
  DISPLAY job-state
  DISPLAY job-state-message
  DISPLAY job-state-reasons
}
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_until_listening(process, port, name, log):
    """Returns once `process` accepts connections on `port`; raises when it
    ends or does not within 20 s."""
    deadline = time.time() + 20
    while time.time() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"{name} ended at once ({process.returncode}): " + log())
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"{name} did not start listening")


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


class AppServer:
    """`with AppServer() as app:` runs one server for the block."""

    def __init__(self, directory=None, port=None, extra_options=(), prefix=(), program=None,
                 env=None):
        self.program = program or APP  # another build's server, for benches
        self.own_directory = directory is None
        self.directory = directory or tempfile.mkdtemp(prefix="label-app-")
        self.spool = os.path.join(self.directory, "spool")
        self.output = os.path.join(self.directory, "out")
        os.makedirs(self.output, exist_ok=True)
        self.port = port or free_port()
        self.extra_options = list(extra_options)
        self.prefix = list(prefix)  # a command the server runs under
        self.env = dict(os.environ, **env) if env else None  # the server's, beyond ours
        self.process = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        try:
            self.stop()
        except AssertionError as crash:
            # The whole log and spool stay for a look.
            raise AssertionError(f"{crash}\n(kept: {self.directory})") from None
        if self.own_directory:
            shutil.rmtree(self.directory, ignore_errors=True)

    @property
    def system_uri(self):
        return f"ipp://127.0.0.1:{self.port}/ipp/system"

    def printer_uri(self, name="Label"):
        return f"ipp://127.0.0.1:{self.port}/ipp/print/{name}"

    def start(self):
        args = [*self.prefix, self.program, "server", "-o", f"server-port={self.port}", "-o",
                f"spool-directory={self.spool}", "-o",
                f"log-file={os.path.join(self.directory, 'server.log')}", "-o", "log-level=info"]
        for option in self.extra_options:
            args += ["-o", option]
        with open(os.path.join(self.directory, "server.stderr"), "ab") as errors:
            self.process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=errors,
                                            env=self.env)
        wait_until_listening(self.process, self.port, "the server", self.log)

    def stop(self):
        """Stops the server; an AssertionError when it had ended by itself."""
        ended = self.process.poll() if self.process else None
        if ended is not None:
            self.process = None
            raise AssertionError(f"the server ended by itself ({ended}):\n"
                                 + self.log()[-3000:] + self.errors()[-6000:])
        if self.process:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def log(self):
        try:
            with open(os.path.join(self.directory, "server.log"), errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def errors(self):
        """What the server wrote to its standard error (sanitizer reports)."""
        try:
            with open(os.path.join(self.directory, "server.stderr"), errors="replace") as errors:
                return errors.read()
        except OSError:
            return ""

    def app(self, *args):
        """The program's own sub-commands, against this server."""
        return run([self.program, *args])

    def add_printer(self, name="Label", device=None):
        device = device or f"file://{self.output}"
        result = self.app("add", "-u", self.system_uri, "-d", name, "-m", "label_203dpi",
                          "-v", device)
        if result.returncode != 0:
            raise RuntimeError(f"add failed: {result.stderr}")
        return name

    def submit(self, path, name, printer="Label", options=()):
        """Submits a document; its job ID."""
        args = ["submit", "-u", self.printer_uri(printer), "-o", f"job-name={name}"]
        for option in options:
            args += ["-o", option]
        result = self.app(*args, path)
        if result.returncode != 0:
            raise RuntimeError(f"submit failed: {result.stdout}{result.stderr}")
        return int(result.stdout.split()[-1])

    def job(self, job_id, printer="Label"):
        """The job's state, message and reasons, as a client reads them."""
        with tempfile.NamedTemporaryFile("w", suffix=".test", delete=False) as test:
            test.write(JOB_ATTRIBUTES_TEST)
        try:
            result = run(["ipptool", "-t", "-d", f"job_id={job_id}", "-d", "user=test",
                          self.printer_uri(printer), test.name])
        finally:
            os.unlink(test.name)
        values = {}
        for line in result.stdout.splitlines():
            for key in ("job-state-message", "job-state-reasons", "job-state"):
                if line.strip().startswith(key + " ("):
                    values.setdefault(key, line.split("=", 1)[1].strip())
        return values

    def block_settings_file(self, printer_id=1):
        """Puts a directory where the printer's settings file goes: writing it
        then fails even for root."""
        path = os.path.join(self.spool, f"label-settings-{printer_id}.devmode")
        if os.path.isfile(path):
            os.remove(path)
        os.mkdir(path)

    def attributes(self, *names, printer="Label"):
        """The printer's attributes `names` as {name: (syntax, value text)}."""
        with tempfile.NamedTemporaryFile("w", suffix=".test", delete=False) as test:
            test.write(PRINTER_ATTRIBUTES_TEST % "\n  ".join("DISPLAY " + name for name in names))
        try:
            result = run(["ipptool", "-t", self.printer_uri(printer), test.name])
        finally:
            os.unlink(test.name)
        found = {}
        for line in result.stdout.splitlines():
            name, _, rest = line.strip().partition(" (")
            if name in names and ") =" in rest:
                syntax, _, value = rest.partition(") =")
                found[name] = (syntax, value.strip())
        return found

    def wait_for_job(self, job_id, printer="Label", timeout=30,
                     final=("completed", "aborted", "canceled")):
        deadline = time.time() + timeout
        while time.time() < deadline:
            state = self.job(job_id, printer)
            if state.get("job-state") in final:
                return state
            time.sleep(0.1)
        raise AssertionError(f"job {job_id} did not end: {self.job(job_id, printer)}")

    def saved_job(self, job_id, timeout=30):
        """Whether the state file lists the job within `timeout`: PAPPL's
        state is saved at most every quarter second, and a job not yet in it
        does not outlive a kill."""
        saved = re.compile(rf'^Job .*\bid="{job_id}"', re.MULTILINE)
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                with open(os.path.join(self.spool, "label-printer-app.state")) as state:
                    if saved.search(state.read()):
                        return True
            except OSError:
                pass
            time.sleep(0.05)
        return False

    def printed(self, name):
        """What the file device received for the job named `name`."""
        with open(os.path.join(self.output, name + ".prn"), "rb") as output:
            return output.read()


def children_of(pid):
    """The processes whose parent is `pid`."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as stat:
                if int(stat.read().rsplit(")", 1)[1].split()[1]) == pid:
                    found.append(int(name))
        except OSError:
            continue
    return found


def labelprint(*args):
    """labelprint's spool stream for the same page and settings."""
    result = subprocess.run([LABELPRINT, "-o", "-", *args], capture_output=True, timeout=120)
    if result.returncode != 0:
        raise RuntimeError(result.stderr.decode(errors="replace"))
    return result.stdout


LABEL_END = b"PRINT 1,1\r\n"


def label_ends(stream):
    """Where each label program of a spool stream ends."""
    ends, at = [], stream.find(LABEL_END)
    while at >= 0:
        ends.append(at + len(LABEL_END))
        at = stream.find(LABEL_END, at + 1)
    return ends


def labels_in(path):
    """How many whole label programs a file holds so far."""
    if not os.path.exists(path):
        return 0
    with open(path, "rb") as output:
        return len(label_ends(output.read()))


class SamplePages(unittest.TestCase):
    """Tests printing the bundled PDF's page `PAGES` times in one document
    (`self.pages`), made once for the class."""

    PAGES = 10

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="label-app-pages-")
        cls.pages = os.path.join(cls.scratch, f"{cls.PAGES}-pages.pdf")
        sample = os.path.join(SAMPLES, "shipping-label.pdf")
        subprocess.run(["qpdf", "--empty", "--pages", *[sample] * cls.PAGES, "--", cls.pages],
                       check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)
