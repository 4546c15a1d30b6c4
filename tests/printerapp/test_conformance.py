"""PWG's IPP Everywhere and IPP/2.0 suites, as CUPS ships them, against a
printer of the application: no test may fail."""

import os
import time
import unittest

from app_server import SAMPLES, AppServer, run

SUITES = "/usr/share/cups/ipptool"


@unittest.skipUnless(os.path.isdir(SUITES), "cups-ipp-utils is not installed")
class Conformance(unittest.TestCase):
    def test_suites_pass(self):
        with AppServer() as app:
            app.add_printer()
            time.sleep(1.5)  # printer-up-time must be past zero
            for suite in ("ipp-everywhere.test", "ipp-2.0.test"):
                with self.subTest(suite):
                    result = run(["ipptool", "-t", "-f", os.path.join(SAMPLES,
                                                                      "shipping-label.pdf"),
                                  app.printer_uri(), suite], cwd=SUITES)
                    lines = result.stdout.splitlines()
                    passed = sum("[PASS]" in line for line in lines)
                    failed = [line.strip() for line in lines if "[FAIL]" in line]
                    skipped = sum("[SKIP]" in line for line in lines)
                    print(f"{suite}: {passed} passed, {len(failed)} failed, {skipped} skipped")
                    self.assertEqual(failed, [], result.stdout)
                    self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                    self.assertGreater(passed, 20)


if __name__ == "__main__":
    unittest.main()
