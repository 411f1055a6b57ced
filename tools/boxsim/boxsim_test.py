#!/usr/bin/python3
"""Tests of the simulated box from outside, as the program meets it: curl for FTP, a small
telnet client, and the receiver's log and loaded.json for what the receiver made of it."""
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
BOXSIM = os.path.join(HERE, "boxsim.py")
WAIT = 5  # seconds: every wait here is bounded by this


def boxsim(*args, check=True):
    return subprocess.run(["/usr/bin/python3", BOXSIM] + list(args), capture_output=True,
                          text=True, timeout=20, check=check)


class TelnetPeer:
    """Reads up to an expected text, dropping the telnet commands; fails in WAIT seconds."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=WAIT)
        self.text = b""

    def expect(self, token):
        deadline = time.time() + WAIT
        while token.encode() not in self.text:
            if time.time() > deadline:
                raise AssertionError("no %r in %r" % (token, self.text))
            chunk = self.sock.recv(4096)
            if not chunk:
                raise AssertionError("closed before %r; got %r" % (token, self.text))
            while b"\xff" in chunk:
                i = chunk.index(b"\xff")
                chunk = chunk[:i] + chunk[i + 3:]
            self.text += chunk
        seen, _, self.text = self.text.partition(token.encode())
        return seen.decode() + token

    def send(self, line):
        self.sock.sendall(line.encode() + b"\n")

    def close(self):
        self.sock.close()


class BoxFixture(unittest.TestCase):
    start_args = ()

    def setUp(self):
        self.state = tempfile.mkdtemp(prefix="boxsim-test-")
        self.status = json.loads(boxsim("start", "--state", self.state, *self.start_args).stdout)
        self.folder = os.path.join(self.status["box"], "etc", "enigma2")

    def tearDown(self):
        boxsim("stop", "--state", self.state)
        shutil.rmtree(self.state, ignore_errors=True)

    def url(self, name=""):
        return "ftp://%s:%s@127.0.0.1:%d/etc/enigma2/%s" % (
            self.status["user"], self.status["password"], self.status["ftp_port"], name)

    def curl(self, *args):
        return subprocess.run(["curl", "-sS", "-g", "--max-time", str(WAIT)] + list(args),
                              capture_output=True, text=True, timeout=WAIT * 2)

    def upload(self, text, name="timers.xml", *extra):
        src = os.path.join(self.state, "upload.xml")
        with open(src, "w") as f:
            f.write(text)
        return self.curl("-T", src, *extra, self.url(name))

    def box_file(self, name="timers.xml"):
        with open(os.path.join(self.folder, name)) as f:
            return f.read()

    def loaded(self):
        return json.loads(boxsim("loaded", "--state", self.state).stdout)

    def receiver_log(self):
        with open(os.path.join(self.state, "receiver.log")) as f:
            return f.read()

    def login(self, password=None):
        peer = TelnetPeer(self.status["telnet_port"])
        self.assertTrue(peer.expect("login: ").endswith("dm7025 login: "))
        peer.send("root")
        if password is not None:
            peer.expect("Password: ")
            peer.send(password)
        peer.expect("root@dm7025:~# ")
        return peer

    def kill_and_wait_restart(self, peer):
        starts = self.status_now()["receiver_starts"]
        peer.send("killall -9 enigma2")
        # A kill that worked prints nothing: the echo, then the prompt again.
        self.assertEqual(peer.expect("root@dm7025:~# "), "killall -9 enigma2\r\nroot@dm7025:~# ")
        deadline = time.time() + WAIT
        while self.status_now()["receiver_starts"] == starts:
            self.assertLess(time.time(), deadline, "the receiver was not started again")
            time.sleep(0.05)

    def status_now(self):
        return json.loads(boxsim("status", "--state", self.state).stdout)


ONE_TIMER = ('<?xml version="1.0" ?>\n<timers>\n\t<timer begin="2000000000" end="2000003600" '
             'serviceref="1:0:1:100:10:1:C00000:0:0:0:" repeated="0" name="Nieuw &amp; vers" '
             'description="" afterevent="nothing" eit="0" disabled="0" justplay="0" '
             'extra="kept" />\n</timers>\n')


class FtpTest(BoxFixture):
    def test_listing_by_mask_like_the_boxes_server(self):
        def nlst(mask):
            result = self.curl("-X", "NLST " + mask, self.url())
            self.assertEqual(result.returncode, 0, result.stderr)
            return result.stdout.split()

        self.assertEqual(nlst("userbouquet*.*"), [
            "userbouquet.all.tv", "userbouquet.favourites.radio", "userbouquet.favourites.tv",
            "userbouquet.sport.tv"])
        self.assertEqual((nlst("timers.xml"), nlst("timers.x?l"), nlst("nothing*")),
                         (["timers.xml"], ["timers.xml"], []))

    def test_store_is_written_in_place_and_sized_as_stored(self):
        result = self.upload(ONE_TIMER, "timers.tmp", "--use-ascii")
        self.assertEqual(result.returncode, 0, result.stderr)
        size = self.curl("-I", "--use-ascii", self.url("timers.tmp"))
        self.assertIn("Content-Length: %d" % len(ONE_TIMER.encode()), size.stdout)
        self.assertEqual(self.box_file("timers.tmp"), ONE_TIMER)

    def test_settings_name_the_guide_served_with_size_and_time(self):
        settings = self.curl(self.url("settings"))
        self.assertIn("config.misc.epgcache_filename=/media/hdd/epg.dat\n", settings.stdout)
        guide = self.url().replace("/etc/enigma2/", "/media/hdd/epg.dat")
        head = self.curl("-I", guide)
        self.assertEqual(head.returncode, 0, head.stderr)
        size = os.path.getsize(os.path.join(self.status["box"], "media/hdd/epg.dat"))
        self.assertIn("Content-Length: %d" % size, head.stdout)
        self.assertIn("Last-Modified: ", head.stdout)
        start = subprocess.run(["curl", "-sS", "--max-time", str(WAIT), "-r", "0-20", guide],
                               capture_output=True, timeout=WAIT * 2).stdout
        self.assertEqual(start[:17], b"\x32\x54\x76\x98ENIGMA_EPG_V8")
        self.assertEqual(int.from_bytes(start[17:21], "little"), 180)  # the television channels

    def test_faults_refuse_and_cut_the_store(self):
        before = self.box_file()
        boxsim("fault", "--state", self.state, "refuse_store")
        refused = self.upload(ONE_TIMER)
        self.assertIn("553", refused.stderr)
        self.assertEqual(self.box_file(), before)

        boxsim("fault", "--state", self.state, "--clear", "cut_store=50")
        cut = self.upload(ONE_TIMER * 20)
        self.assertNotEqual(cut.returncode, 0)
        self.assertEqual(self.box_file(), ONE_TIMER[:50])

        boxsim("fault", "--state", self.state, "--clear", "refuse_login=ftp")
        self.assertIn("530", self.curl("-X", "NLST *", self.url()).stderr)


    def test_a_slow_box_answers_a_second_session_during_a_download(self):
        # The program fetches the guide in the background while a save logs in: a delay in one
        # session must not starve the other, as on the box, whose server forks per login.
        boxsim("fault", "--state", self.state, "slow=150")
        guide = self.url().replace("/etc/enigma2/", "/media/hdd/epg.dat")
        active = ["curl", "-sS", "--max-time", str(WAIT), "--ftp-port", "127.0.0.1", "-o",
                  os.devnull]
        sessions = [subprocess.Popen(active + [guide], stderr=subprocess.PIPE)]
        # Logins at every moment of the download, for a delay that hits one of its steps.
        for _ in range(12):
            time.sleep(0.1)
            sessions.append(subprocess.Popen(active + [self.url("timers.xml")],
                                             stderr=subprocess.PIPE))
        for session in sessions:
            _, error = session.communicate(timeout=WAIT * 2)
            self.assertEqual(session.returncode, 0, error)

class TelnetAndReceiverTest(BoxFixture):
    def test_kill_restarts_the_receiver_with_the_uploaded_list(self):
        self.assertEqual(self.loaded()["count"], 10)
        self.assertEqual(self.upload(ONE_TIMER).returncode, 0)
        peer = self.login()
        self.kill_and_wait_restart(peer)
        loaded = self.loaded()
        self.assertEqual((loaded["count"], loaded["timers"][0]["attributes"][4],
                          loaded["timers"][0]["attributes"][-1]),
                         (1, ["name", "Nieuw & vers"], ["extra", "kept"]))
        peer.close()

    def test_upload_without_the_kill_is_lost_at_a_clean_stop(self):
        self.assertEqual(self.upload(ONE_TIMER).returncode, 0)
        boxsim("stop", "--state", self.state)
        self.assertEqual(self.box_file().count("<timer "), 10)
        self.assertIn("saved 10 timers", self.receiver_log())

    def test_unreadable_list_is_put_aside_and_the_receiver_runs_without_timers(self):
        bad = {
            "afterevent": ONE_TIMER.replace('"nothing"', '"shutdown"'),
            "begin": ONE_TIMER.replace('"2000000000"', '"2000000000.5"'),
            "xml": ONE_TIMER[:120],
        }
        peer = self.login()
        for reason, text in bad.items():
            with self.subTest(reason=reason):
                self.assertEqual(self.upload(text).returncode, 0)
                self.kill_and_wait_restart(peer)
                loaded = self.loaded()
                self.assertEqual((loaded["count"], self.box_file("timers.xml_old")), (0, text))
                self.assertIn(reason if reason != "xml" else "not well-formed",
                              loaded["error"])
                self.assertFalse(os.path.exists(os.path.join(self.folder, "timers.xml")))
        self.assertIn("renamed to timers.xml_old; loaded 0 timers", self.receiver_log())
        peer.close()

    def test_a_timer_added_on_the_box_rewrites_its_list(self):
        boxsim("change-timers", "--state", self.state)
        self.assertEqual(self.box_file().count("<timer "), 11)
        self.assertIn('name="Added on the box"', self.box_file())

    def test_telnet_faults(self):
        boxsim("fault", "--state", self.state, "refuse_login=telnet")
        peer = TelnetPeer(self.status["telnet_port"])
        peer.expect("login: ")
        peer.send("root")
        peer.expect("Login incorrect")
        peer.close()

        boxsim("fault", "--state", self.state, "--clear", "no_telnet")
        time.sleep(0.5)
        with self.assertRaises(ConnectionRefusedError):
            TelnetPeer(self.status["telnet_port"])
        boxsim("fault", "--state", self.state, "--clear")
        time.sleep(0.5)
        self.login().close()


class WebTest(BoxFixture):
    REF = "1:0:1:100:10:1:C00000:0:0:0:"

    def web(self, call, headers=None, **args):
        url = "http://127.0.0.1:%d/api/%s?%s" % (self.status["web_port"], call,
                                                 urllib.parse.urlencode(args))
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}),
                                    timeout=WAIT) as reply:
            return json.loads(reply.read()), reply.headers

    def add(self, begin, name, length=3600):
        return self.web("timeradd", sRef=self.REF, begin=begin, end=begin + length,
                        name=name)[0]

    def test_adds_are_written_in_the_receivers_layout_and_a_change_is_not(self):
        self.assertTrue(self.add(2000000000, "Eén")["result"])
        self.assertTrue(self.add(2000000000 + 60, "Binnen", 600)["result"])  # dropped: within
        line = ('<timer begin="2000000000" end="2000003600" serviceref="%s" repeated="0" '
                'name="Eén" description="" afterevent="auto" eit="0" '
                'location="/media/hdd/movie/" justplay="0"' % self.REF)
        self.assertIn("\n" + line, self.box_file())
        self.assertIn('record_ecm="0">\n</timer>\n', self.box_file())
        self.assertNotIn("Binnen", self.box_file())
        changed = self.web("timerchange", sRef=self.REF, begin=2000000000, end=2000007200,
                           name="Twee", channelOld=self.REF, beginOld=2000000000,
                           endOld=2000003600)[0]
        self.assertTrue(changed["result"])
        self.assertIn('name="Eén"', self.box_file())
        self.web("timerlistwrite")
        self.assertIn('end="2000007200" serviceref="%s" repeated="0" name="Twee"' % self.REF,
                      self.box_file())
        # Untouched timers keep the text they were loaded from, unless the box rewrites all.
        self.assertIn('marginBefore="300"', self.box_file())
        boxsim("fault", "--state", self.state, "rewrite_all")
        self.web("timerlistwrite")
        self.assertNotIn("marginBefore", self.box_file())
        self.assertNotIn("\t", self.box_file())

    def test_switches_and_a_restart_keep_the_port(self):
        boxsim("fault", "--state", self.state, "web_auth")
        with self.assertRaises(urllib.error.HTTPError) as refused:
            self.web("timerlist")
        self.assertEqual(refused.exception.code, 401)
        login = "Basic " + base64.b64encode(b"root:").decode()
        _, headers = self.web("timerlist", {"Authorization": login})
        cookie = headers["Set-Cookie"].split(";")[0]
        self.assertEqual(len(self.web("timerlist", {"Cookie": cookie})[0]["timers"]), 10)
        boxsim("fault", "--state", self.state, "--clear", "no_web=404")
        with self.assertRaises(urllib.error.HTTPError) as missing:
            self.web("about")
        self.assertEqual(missing.exception.code, 404)
        boxsim("fault", "--state", self.state, "--clear")
        peer = self.login()
        self.kill_and_wait_restart(peer)
        peer.close()
        self.assertEqual(len(self.web("timerlist")[0]["timers"]), 10)


class TunerTest(BoxFixture):
    start_args = ("--conflict",)

    def web(self, call, **args):
        url = "http://127.0.0.1:%d/api/%s?%s" % (self.status["web_port"], call,
                                                 urllib.parse.urlencode(args))
        with urllib.request.urlopen(url, timeout=WAIT) as reply:
            return json.loads(reply.read())

    def add(self, ref, begin, name):
        return self.web("timeradd", sRef=ref, begin=begin, end=begin + 3600, name=name)

    def test_a_conflict_in_the_list_is_switched_off_at_load(self):
        self.assertIn("Timer overlap in timers.xml detected! Timer 'Journaal' disabled",
                      self.receiver_log())
        timers = {t["name"]: t for t in self.web("timerlist")["timers"]}
        self.assertEqual(len(timers), 13)
        self.assertEqual(sorted(n for n, t in timers.items() if t["disabled"]),
                         ["Café Europa", "Journaal"])

    def test_tuners_are_told_by_the_shell_and_the_interface(self):
        boxsim("fault", "--state", self.state, "tuners=DVB-S2,DVB-C,empty")
        peer = self.login()
        peer.send("cat /proc/bus/nim_sockets")
        text = peer.expect("root@dm7025:~# ")
        peer.close()
        self.assertIn("NIM Socket 1:\r\n\tType: DVB-C\r\n", text)
        self.assertIn("NIM Socket 2:\r\n\tEmpty\r\n", text)
        self.assertEqual([t["type"] for t in self.web("about")["info"]["tuners"]],
                         ["DVB-S2", "DVB-C"])
        self.assertIn("config.Nims.1.diseqcA=192", self.box_file("settings"))

    def test_adds_follow_the_receivers_tuner_rules(self):
        at = 2000000000
        refs = ["1:0:1:%X:%X:1:C00000:0:0:0:" % (0x100 + n, 0x10 + n) for n in range(3)]
        self.assertTrue(self.add(refs[0], at, "Een")["result"])
        self.assertTrue(self.add(refs[1], at + 600, "Twee")["result"])
        # The first transponder is tuned already: a second channel on it shares the tuner.
        shared = "1:0:1:1FF:10:1:C00000:0:0:0:"
        self.assertTrue(self.add(shared, at + 1200, "Zelfde")["result"])
        refused = self.add(refs[2], at + 3600, "Drie")  # begins as Een ends: still overlaps
        self.assertFalse(refused["result"])
        self.assertEqual([c["name"] for c in refused["conflicts"]],
                         ["Drie", "Een", "Twee", "Zelfde"])
        cable = self.add("1:0:1:5:5:1:FFFF0000:0:0:0:", at + 86400, "Kabel")
        self.assertEqual([c["name"] for c in cable["conflicts"]], ["Kabel"])


class SeriesTest(BoxFixture):
    start_args = ("--series",)

    def call(self, path="", **args):
        url = "http://127.0.0.1:%d/autotimer%s?%s" % (self.status["web_port"], path,
                                                     urllib.parse.urlencode(args))
        with urllib.request.urlopen(url, timeout=WAIT) as reply:
            return reply.read().decode()

    def test_rules_are_listed_edited_and_taken_from_an_upload(self):
        listed = self.call()
        self.assertIn('id="2"', listed)
        self.assertEqual(self.box_file().count('flags="autotimer Journaal"'), 2)
        self.assertIn("<e2state>True</e2state>",
                      self.call("/edit", match="Quiz", name="", timespanFrom="20:00",
                                timespanTo="23:00"))
        self.assertIn('name="Quiz" from="20:00" to="23:00"', self.box_file("autotimer.xml"))
        self.assertIn("<e2state>False</e2state>", self.call("/edit", id="9", match="x"))
        # An upload replaces the rules without a restart: the plugin notices the file's change.
        time.sleep(0.01)
        self.upload('<autotimer version="8"><timer name="Q" match="quiz van" /></autotimer>',
                    "autotimer.xml")
        self.assertEqual(self.call().count("<timer "), 1)
        self.call("/parse")
        self.assertIn('name="Quiz van de Week"', self.box_file())
        self.assertIn('flags="autotimer Q"', self.box_file())


class PasswordTest(BoxFixture):
    start_args = ("--password", "geheim", "--host-name", "vuduo2", "--fault", "no_web=closed")

    def test_root_password_is_asked_by_telnet_and_ftp(self):
        self.assertIsNone(self.status["web_port"])  # a box without the web interface
        peer = TelnetPeer(self.status["telnet_port"])
        self.assertTrue(peer.expect("login: ").endswith("vuduo2 login: "))
        peer.send("root")
        peer.expect("Password: ")
        peer.send("geheim")
        peer.expect("root@vuduo2:~# ")
        peer.close()
        wrong = self.curl("-X", "NLST *", self.url().replace(":geheim@", ":fout@"))
        self.assertIn("530", wrong.stderr)
        self.assertEqual(self.curl("-X", "NLST lamedb", self.url()).stdout.split(), ["lamedb"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
