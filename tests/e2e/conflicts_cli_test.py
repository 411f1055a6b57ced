#!/usr/bin/python3
"""End-to-end: `tivolo --conflicts` against the simulated box, without a display. Run one with
`conflicts_cli_test.py ConflictsCliTest.test_no_conflict`; TIVOLO_BINARY names the program."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_harness import ROOT, Box, HarnessError  # noqa: E402

BINARY = os.environ.get("TIVOLO_BINARY", os.path.join(ROOT, "build", "bin", "tivolo"))
RUN_WAIT = 60  # seconds: the fetch, the web interface and the telnet login on a loaded machine


class ConflictsCliTest(unittest.TestCase):
    def start(self, *box_args):
        self.folder = tempfile.mkdtemp(prefix="tivolo-cli-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.box = Box(self.folder, *box_args)
        self.addCleanup(self.stop_box)
        self.profile = os.path.join(self.folder, "profile")
        os.makedirs(self.profile)
        s = self.box.status
        with open(os.path.join(self.profile, "config.ini"), "w") as f:
            # A fixed zone, so that the line's local time is UTC whatever the machine's.
            f.write("[DB7025]\nIp=%s\nUsername=%s\nPassword=%s\nUTC_Offset=0\nUTC_Auto=0\n"
                    "FtpPort=%d\nTelnetPort=%d\nWebPort=%d\n" % (
                        s["address"], s["user"], s["password"], s["ftp_port"],
                        s["telnet_port"], s["web_port"]))

    def stop_box(self):
        try:
            self.box.stop()
        except HarnessError:
            pass  # stopped by the test already

    def conflicts(self):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.folder,
               "LANG": "C.UTF-8", "TZ": "UTC"}  # no DISPLAY: no window may be needed
        return subprocess.run([BINARY, "--conflicts", "--profile", self.profile], env=env,
                              capture_output=True, text=True, timeout=RUN_WAIT)

    def expected_line(self):
        """The demo's third recording at once, which the second tuner cannot take."""
        timer = [t for t in ET.fromstring(self.box.timers_xml()) if t.get("name") == "Journaal"][0]
        begin = int(timer.get("begin"))
        return "%s %s %s %s Journaal\n" % (
            time.strftime("%Y-%m-%d %H:%M", time.gmtime(begin)), timer.get("serviceref"),
            timer.get("begin"), timer.get("end"))

    def test_conflict_then_the_copies_when_the_box_is_down(self):
        self.start("--conflict")
        line = self.expected_line()
        first = self.conflicts()
        self.assertEqual((first.returncode, first.stdout), (3, line), first.stderr)
        self.assertEqual(first.stderr, "Note: Not checked: CI slots.\n")
        self.box.stop()
        second = self.conflicts()
        self.assertEqual((second.returncode, second.stdout), (3, line), second.stderr)
        self.assertIn("could not be reached", second.stderr)
        self.assertIn("the timer list checked was fetched", second.stderr)

    def test_no_conflict(self):
        self.start()
        result = self.conflicts()
        # Nothing at all, so that a scheduled job mails nothing.
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.assertTrue(os.path.exists(os.path.join(self.profile, "tuners")), result.stderr)


if __name__ == "__main__":
    unittest.main()
