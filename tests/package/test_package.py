"""The Debian package as a person installs it: unpacked into a scratch root
(dpkg -x), its programs print labels, byte for byte as the build tree's do,
finding the plug-in and the PDF reader where the package put them."""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "..")
BUILD = os.environ.get("LABEL_BUILD_DIR", os.path.join(SOURCE, "build"))
PACKAGES = sorted(glob.glob(os.path.join(SOURCE, "out", "label-printer-app_*.deb")))
PNG = os.path.join(SOURCE, "tools", "samples", "shipping-label.png")
PDF = os.path.join(SOURCE, "tools", "samples", "shipping-label.pdf")
REQUIRED = os.environ.get("LABEL_REQUIRE_PACKAGE") == "1"

ROOT = tempfile.mkdtemp(prefix="label-package-")
if PACKAGES:
    subprocess.run(["dpkg", "-x", PACKAGES[-1], ROOT], check=True)
# The printer application's test server, started from the unpacked package.
os.environ["LABEL_BUILD_DIR"] = os.path.join(ROOT, "usr")
for variable in ("LABEL_PLUGIN", "LABEL_PDF_MODULE"):
    os.environ.pop(variable, None)
sys.path.insert(0, os.path.join(HERE, "..", "printerapp"))
from app_server import AppServer  # noqa: E402


def printed(program, *args):
    result = subprocess.run([program, "-o", "-", *args], capture_output=True, timeout=120)
    if result.returncode != 0:
        raise AssertionError(result.stderr.decode(errors="replace"))
    return result.stdout


def tearDownModule():
    shutil.rmtree(ROOT, ignore_errors=True)


@unittest.skipUnless(PACKAGES or REQUIRED, "no package in out/ (sh scripts/package.sh makes it)")
class InstalledPackage(unittest.TestCase):
    def installed(self, path):
        return os.path.join(ROOT, path.lstrip("/"))

    def test_holds_what_a_person_needs(self):
        self.assertTrue(PACKAGES, "sh scripts/package.sh made no package")
        for path in ("/usr/bin/label-printer-app", "/usr/bin/labelprint", "/usr/bin/labelview",
                     "/usr/lib/label-printer-app/liblabelplug.so",
                     "/usr/lib/label-printer-app/liblabelpdf.so",
                     "/lib/systemd/system/label-printer-app.service",
                     "/usr/lib/sysusers.d/label-printer-app.conf",
                     "/usr/share/man/man1/labelprint.1.gz", "/usr/share/man/man1/labelview.1.gz",
                     "/usr/share/man/man8/label-printer-app.8.gz",
                     "/usr/share/doc/label-printer-app/copyright"):
            self.assertTrue(os.path.exists(self.installed(path)), path)
        self.assertTrue(glob.glob(self.installed("/usr/share/doc/label-printer-app/README*")))
        control = subprocess.run(["dpkg-deb", "-f", PACKAGES[-1], "Depends"], check=True,
                                 capture_output=True, text=True).stdout
        for library in ("libpappl", "libpoppler", "libseccomp"):
            self.assertIn(library, control)

    def test_the_service_is_locked_down(self):
        # systemd's own rating of the unit's sandbox, 0 (locked) to 10; at
        # most 2.0 (--threshold counts tenths).
        unit = self.installed("/lib/systemd/system/label-printer-app.service")
        rating = subprocess.run(["systemd-analyze", "security", "--offline=true",
                                 "--threshold=20", unit], capture_output=True, text=True)
        self.assertEqual(rating.returncode, 0, rating.stdout[-3000:] + rating.stderr)
        self.assertIn("Overall exposure level", rating.stdout)

    def test_labelprint_prints_as_the_build_tree_does(self):
        labelprint = self.installed("/usr/bin/labelprint")
        for page in (PNG, PDF):
            with self.subTest(page=os.path.basename(page)):
                self.assertEqual(printed(labelprint, page),
                                 printed(os.path.join(BUILD, "bin", "labelprint"), page))

    def test_the_printer_application_prints_a_label(self):
        with AppServer() as app:
            app.add_printer()
            job = app.submit(PDF, "installed")
            self.assertEqual(app.wait_for_job(job)["job-state"], "completed")
            self.assertEqual(app.printed("installed"),
                             printed(os.path.join(BUILD, "bin", "labelprint"), PDF))


if __name__ == "__main__":
    unittest.main()
