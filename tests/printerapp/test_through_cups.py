"""label-printer-app as a CUPS queue sees it: a private cupsd of the test's
own makes a driverless queue for the app's printer, and labels printed
through that queue reach the label printer as labelprint would print them."""

import grp
import os
import pwd
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from app_server import SAMPLES, AppServer, free_port, labelprint, wait_until_listening

CUPSD = shutil.which("cupsd", path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
BITMAP = re.compile(rb"BITMAP (\d+),(\d+),(\d+),(\d+),(\d+),")

# Anyone on the loopback may do anything: the server is the test's alone.
CUPSD_CONF = """Listen 127.0.0.1:{port}
LogLevel info
WebInterface No
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
"""

CUPS_FILES_CONF = """{user}SystemGroup {system_group}
ServerRoot {dir}
RequestRoot {dir}/spool
CacheDir {dir}/cache
StateDir {dir}/state
TempDir {dir}/tmp
AccessLog {dir}/log/access_log
ErrorLog {dir}/log/error_log
PageLog {dir}/log/page_log
Printcap {dir}/printcap
ServerBin /usr/lib/cups
DataDir /usr/share/cups
FileDevice No
"""


class PrivateCups:
    """A cupsd with every file of its own under `directory`, on a free port."""

    def __init__(self, directory):
        self.dir = os.path.join(directory, "cups")
        self.port = free_port()
        self.process = None
        # Clients read only this server's client settings, none of the user's.
        self.env = dict(os.environ, CUPS_SERVER=f"127.0.0.1:{self.port}",
                        CUPS_SERVERROOT=self.dir, HOME=directory)

    def start(self):
        for sub in ("spool", "cache", "state", "tmp", "log", "ppd"):
            os.makedirs(os.path.join(self.dir, sub))
        if os.geteuid() == 0:
            # cupsd will not run its filters and backends as root.
            user, system_group = "User lp\nGroup lp\n", "root"
            os.chmod(os.path.dirname(self.dir), 0o755)
            lp_uid, lp_gid = pwd.getpwnam("lp").pw_uid, grp.getgrnam("lp").gr_gid
            for root, dirs, _ in os.walk(self.dir):
                for name in [root] + [os.path.join(root, d) for d in dirs]:
                    os.chown(name, lp_uid, lp_gid)
        else:
            user, system_group = "", grp.getgrgid(os.getegid()).gr_name
        os.chmod(os.path.join(self.dir, "tmp"), 0o1777)
        with open(os.path.join(self.dir, "cupsd.conf"), "w") as conf:
            conf.write(CUPSD_CONF.format(port=self.port))
        with open(os.path.join(self.dir, "cups-files.conf"), "w") as conf:
            conf.write(CUPS_FILES_CONF.format(user=user, system_group=system_group,
                                              dir=self.dir))
        self.process = subprocess.Popen(
            [CUPSD, "-f", "-c", os.path.join(self.dir, "cupsd.conf"),
             "-s", os.path.join(self.dir, "cups-files.conf")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            # It tells no system bus (nor colord on it) of its queues.
            env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={self.dir}/no-bus"))
        wait_until_listening(self.process, self.port, "cupsd", self.log)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def run(self, *args):
        result = subprocess.run(args, capture_output=True, text=True, timeout=60, env=self.env)
        if result.returncode != 0:
            raise AssertionError(f"{args[0]} failed: {result.stderr}\n{self.log()}")
        return result.stdout

    def log(self):
        try:
            with open(os.path.join(self.dir, "log", "error_log"), errors="replace") as log:
                return "".join(log.readlines()[-40:])
        except OSError:
            return ""


def labels(stream):
    """(text around each bitmap, (width bytes, height, dots)) of each label."""
    texts, bitmaps, pos = [], [], 0
    while match := BITMAP.search(stream, pos):
        width, height = int(match[3]), int(match[4])
        texts.append(stream[pos:match.end()])
        pos = match.end() + width * height
        bitmaps.append((width, height, stream[match.end():pos]))
    texts.append(stream[pos:])
    return texts, bitmaps


def printed_dots(bitmap):
    width, height, data = bitmap
    return width * height * 8 - int.from_bytes(data, "big").bit_count()  # a 0 bit is a dot


class ThroughCups(unittest.TestCase):
    @unittest.skipUnless(CUPSD, "cupsd is not installed (Debian package cups-daemon)")
    def test_pdf_and_png_through_a_driverless_queue(self):
        cases = {"cups-label-pdf": os.path.join(SAMPLES, "shipping-label.pdf"),
                 "cups-label-png": os.path.join(SAMPLES, "shipping-label.png")}
        with tempfile.TemporaryDirectory(prefix="label-cups-") as directory, \
                AppServer() as app:
            cups = PrivateCups(directory)
            try:
                app.add_printer()
                cups.start()
                cups.run("lpadmin", "-p", "Label", "-E", "-v", app.printer_uri(),
                         "-m", "everywhere")
                # cupsd asks the printer and writes the queue's PPD after lpadmin returns.
                deadline = time.time() + 30
                while not (sizes := re.search(r"^PageSize/.*$", cups.run(
                        "lpoptions", "-p", "Label", "-l"), re.M)):
                    self.assertLess(time.time(), deadline, f"no PPD for the queue\n{cups.log()}")
                    time.sleep(0.2)
                with self.subTest("the queue's default media is one it offers"):
                    # Else CUPS lays pages out on Letter and the label comes out shrunk.
                    self.assertIn("*", sizes[0])
                jobs = {}
                for name, path in cases.items():
                    answer = cups.run("lp", "-d", "Label", "-t", name, path)
                    jobs[name] = re.search(r"request id is (\S+)", answer)[1]
                deadline = time.time() + 90
                while not all(job in cups.run("lpstat", "-W", "completed", "-o", "Label").split()
                              for job in jobs.values()):
                    self.assertLess(time.time(), deadline,
                                    f"CUPS jobs did not complete\n{cups.log()}")
                    time.sleep(0.3)
                for name, path in cases.items():
                    with self.subTest(name):
                        self.check_same_label(app, name, labelprint("--label", "4x6in", path))
            finally:
                cups.stop()

    def check_same_label(self, app, name, expected):
        # The queue's job ends once the app says it is done; the file is whole.
        self.assertTrue(os.path.exists(os.path.join(app.output, name + ".prn")),
                        f"nothing printed for {name}: {os.listdir(app.output)}\n{app.log()}")
        got_texts, got_bitmaps = labels(app.printed(name))
        want_texts, want_bitmaps = labels(expected)
        self.assertEqual(got_texts, want_texts)  # size, density, direction, commands
        for got, want in zip(got_bitmaps, want_bitmaps, strict=True):
            self.assertEqual(got[:2], want[:2])
            differing = (int.from_bytes(got[2], "big") ^ int.from_bytes(want[2], "big")).bit_count()
            percent = 100.0 * differing / printed_dots(want)
            print(f"\n{name}: {percent:.3f} % of {printed_dots(want)} dots differ "
                  f"({printed_dots(got)} printed through CUPS)", flush=True)
            self.assertLess(percent, 0.5)


if __name__ == "__main__":
    unittest.main()
