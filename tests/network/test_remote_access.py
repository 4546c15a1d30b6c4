"""The server as another computer on the network meets it: anyone may print,
look and cancel their own jobs, over IPP and IPPS, with no login; settings
and other people's jobs need an administrator. "Another computer" is a
network namespace the test makes, joined to this one by a veth pair with a
/30 of its own, and removes at the end."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "printerapp"))
from app_server import SAMPLES, AppServer, labelprint  # noqa: E402

PDF = os.path.join(SAMPLES, "shipping-label.pdf")

REQUEST = """{
  OPERATION %(operation)s
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name %(user)s
  %(more)s
  STATUS successful-ok
  %(expect)s
}
"""


def request(operation, user="warehouse", more="", expect=""):
    return REQUEST % {"operation": operation, "user": user, "more": more, "expect": expect}


PRINT_JOB = request("Print-Job", more="ATTR name job-name $name\n  FILE $filename",
                    expect="EXPECT job-id OF-TYPE integer\n  DISPLAY job-id")
CREATE_JOB = request("Create-Job", more="ATTR name job-name held",
                     expect="EXPECT job-id OF-TYPE integer\n  DISPLAY job-id")
SET_LOCATION = request("Set-Printer-Attributes",
                       more="GROUP printer-attributes-tag\n  ATTR text printer-location Dock-7")


def cancel_job(job_id, user):
    return request("Cancel-Job", user=user, more=f"ATTR integer job-id {job_id}")


def job_id(said):
    """The job-id ipptool displayed."""
    return int(said.split("job-id (integer) = ")[1].split()[0])


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=60, **kwargs)


class AnotherHost:
    """A network namespace with an address of its own: `server_address` is
    this machine's end of the pair, `run` runs a command over there."""

    def __init__(self):
        tag = os.getpid() % 100000
        self.name = f"lpa{tag}"
        self.here, self.there = f"lpah{tag}", f"lpac{tag}"
        subnet = f"10.213.{tag % 250}"
        self.server_address, self.address = f"{subnet}.1", f"{subnet}.2"

    def __enter__(self):
        steps = [
            ["ip", "netns", "add", self.name],
            ["ip", "link", "add", self.here, "type", "veth", "peer", "name", self.there],
            ["ip", "link", "set", self.there, "netns", self.name],
            ["ip", "addr", "add", f"{self.server_address}/30", "dev", self.here],
            ["ip", "link", "set", self.here, "up"],
            ["ip", "-n", self.name, "addr", "add", f"{self.address}/30", "dev", self.there],
            ["ip", "-n", self.name, "link", "set", self.there, "up"],
            ["ip", "-n", self.name, "link", "set", "lo", "up"],
        ]
        for step in steps:
            result = run(step)
            if result.returncode != 0:
                self.__exit__()
                raise unittest.SkipTest(f"cannot make another host ({' '.join(step)}: "
                                        f"{result.stderr.strip()})")
        return self

    def __exit__(self, *exc):
        # Deleting the namespace deletes its end of the pair, and so both.
        run(["ip", "netns", "del", self.name])
        run(["ip", "link", "del", self.here])

    def ipptool(self, uri, test, *args):
        """ipptool over there: (passed, what it printed)."""
        with tempfile.NamedTemporaryFile("w", suffix=".test", delete=False) as file:
            file.write(test)
        try:
            result = run(["ip", "netns", "exec", self.name, "ipptool", "-t", *args, uri,
                          file.name])
        finally:
            os.unlink(file.name)
        return result.returncode == 0, result.stdout + result.stderr


@unittest.skipUnless(os.geteuid() == 0, "making another host needs root (ip netns)")
class RemoteAccess(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.host = AnotherHost().__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.host.__exit__()

    def serving_the_network(self, *options):
        """A server on every address with a printer "Label", added while
        it served loopback alone (adding one is an administrator's)."""
        directory = tempfile.mkdtemp(prefix="label-app-remote-")
        self.addCleanup(shutil.rmtree, directory, True)
        with AppServer(directory) as app:
            app.add_printer()
        return AppServer(directory, extra_options=["listen-hostname=*", *options])

    def uri(self, app, scheme="ipp"):
        return f"{scheme}://{self.host.server_address}:{app.port}/ipp/print/Label"

    def test_anyone_prints_over_ipp_and_ipps_without_a_login(self):
        with self.serving_the_network() as app:
            for scheme in ("ipp", "ipps"):
                with self.subTest(scheme=scheme):
                    passed, said = self.host.ipptool(self.uri(app, scheme), PRINT_JOB, "-f", PDF,
                                                     "-d", f"name={scheme}")
                    self.assertTrue(passed, said)
                    self.assertEqual(app.wait_for_job(job_id(said))["job-state"], "completed")
                    self.assertEqual(app.printed(scheme), labelprint(PDF))

    def test_settings_need_an_administrator(self):
        with self.serving_the_network() as app:
            for scheme in ("ipp", "ipps"):
                with self.subTest(scheme=scheme):
                    passed, said = self.host.ipptool(self.uri(app, scheme), SET_LOCATION)
                    self.assertFalse(passed, said)
            self.assertNotIn("Dock-7", str(app.attributes("printer-location")))

    def test_anyone_cancels_their_own_job_and_nobody_elses(self):
        with self.serving_the_network() as app:
            passed, said = self.host.ipptool(self.uri(app), CREATE_JOB)
            self.assertTrue(passed, said)
            job = job_id(said)
            passed, said = self.host.ipptool(self.uri(app), cancel_job(job, "somebody-else"))
            self.assertFalse(passed, said)
            passed, said = self.host.ipptool(self.uri(app), cancel_job(job, "warehouse"))
            self.assertTrue(passed, said)
            self.assertEqual(app.wait_for_job(job)["job-state"], "canceled")

    def test_a_print_group_keeps_printing_to_its_members(self):
        with self.serving_the_network("print-group=lp") as app:
            passed, said = self.host.ipptool(self.uri(app), PRINT_JOB, "-f", PDF, "-d",
                                             "name=outsider")
            self.assertFalse(passed, said)


if __name__ == "__main__":
    unittest.main()
