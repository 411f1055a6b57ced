#!/usr/bin/python3
"""End-to-end: the real program against the simulated box, one test per path through
Save && Exit. Run one with `e2e_test.py E2eTest.test_new_timer`; TIVOLO_BINARY names the
program (build/bin/tivolo by default), TIVOLO_E2E_KEEP=1 keeps the session folders."""
import os
import sys
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_harness import ROOT, HarnessError, Session, timers_by_begin  # noqa: E402

sys.path.insert(0, os.path.join(ROOT, "tools", "boxsim"))
import demo_data  # noqa: E402
from guide_file import read_guide  # noqa: E402

BINARY = os.environ.get("TIVOLO_BINARY", os.path.join(ROOT, "build", "bin", "tivolo"))
MAIN = r"^Tivolo  "
PICKER = r"^Select channel$"
NEW_EDITOR = r"^New Timer$"
EDIT_EDITOR = r"^Edit Timer$"
NEW_NAME = "Tom & Jerry (herhaling)"
PICKER_WITH_GUIDE_WIDTH = 460
MARGIN_BEFORE, MARGIN_AFTER = 2 * 60, 10 * 60  # the demo box's settings, in seconds


def file_timers(xml):
    """The timers of a timers.xml by begin and service, as timers_by_begin keys them."""
    return {t.get("begin") + "/" + t.get("serviceref"): t for t in ET.fromstring(xml)}


def comparable(timer):
    return (sorted(map(tuple, timer["attributes"])), timer["children"])


class E2eTest(unittest.TestCase):
    box_args = ()
    password = None

    def start(self, *box_args, password=None, web=False, timers=10):
        self.session = Session(BINARY, box_args, password, web)
        self.addCleanup(self.session.close)
        self.box, self.program = self.session.box, self.session.program
        self.program.wait_main_window()
        self.before = timers_by_begin(self.box.first_load)
        self.assertEqual(len(self.before), timers)

    # --- what the user does
    def append_timer(self, name=None):
        p = self.program
        p.keys(MAIN, "alt+a")
        p.wait_window(PICKER)
        # The first line of the first bouquet is a marker; the channel below it is picked.
        p.keys(PICKER, "Down", "Return")
        p.wait_gone(PICKER)
        p.wait_window(NEW_EDITOR)
        if name:  # the name is the editor's first field
            p.keys(NEW_EDITOR, "ctrl+a")
            p.type_text(NEW_EDITOR, name)
        p.keys(NEW_EDITOR, "ctrl+s")
        p.wait_gone(NEW_EDITOR)

    def open_picker_with_guide(self, tries=10):
        """The picker, once the guide fetched in the background is there (it makes the
        picker wider)."""
        p = self.program
        for _ in range(tries):
            p.keys(MAIN, "alt+a")
            window = p.wait_window(PICKER)
            geometry = p.xdotool("getwindowgeometry", "--shell", window)
            width = int(dict(g.split("=") for g in geometry)["WIDTH"])
            if width == PICKER_WITH_GUIDE_WIDTH:
                return
            p.keys(PICKER, "alt+c")
            p.wait_gone(PICKER)
            time.sleep(0.5)
        self.fail("the picker never showed the guide")

    def edit_second_timer(self):
        p = self.program
        p.keys(MAIN, "Down", "alt+e")
        p.wait_window(EDIT_EDITOR)
        p.keys(EDIT_EDITOR, "ctrl+a")
        p.type_text(EDIT_EDITOR, NEW_NAME)
        p.keys(EDIT_EDITOR, "ctrl+s")
        p.wait_gone(EDIT_EDITOR)

    def save_and_exit(self):
        self.box_file_before_save = self.box.timers_xml()
        self.program.keys(MAIN, "alt+s")

    # --- what the box shows afterwards
    def assert_saved(self, expected_count, edited=()):
        """The program ended by itself and the restarted receiver loaded the new list, every
        timer the user did not touch with every attribute, child and second unchanged."""
        self.assertEqual(self.program.wait_exit(), 0)
        after = timers_by_begin(self.box.wait_restart())
        self.assertEqual(len(after), expected_count)
        untouched = {k: v for k, v in self.before.items() if k in after and k not in edited}
        self.assertEqual({k: comparable(v) for k, v in untouched.items()},
                         {k: comparable(after[k]) for k in untouched})
        return after

    def assert_refused(self, *fragments, list_on_box_changed=False, within=20):
        """A message naming the failure, the program still open, the receiver not restarted,
        and the box's file as it was (or, when only the restart failed, the new list)."""
        message = self.program.wait_message(within)
        for fragment in fragments:
            self.assertIn(fragment.lower(), message["text"].lower(), message)
        self.program.answer(message, "Return")
        self.program.wait_main_window()
        self.assertTrue(self.program.running())
        status = self.box.live_status()
        self.assertEqual((status["kills"], status["receiver_starts"]), (0, 1))
        on_box = self.box.timers_xml()
        if list_on_box_changed:
            self.assertNotEqual(on_box, self.box_file_before_save)
        else:
            self.assertEqual(on_box, self.box_file_before_save)
        return message

    # --- the paths
    def test_new_timer(self):
        self.start()
        self.append_timer()
        self.save_and_exit()
        after = self.assert_saved(11)
        (new,) = [t for k, t in after.items() if k not in self.before]
        serviceref = dict(new["attributes"])["serviceref"]
        self.assertTrue(serviceref.startswith("1:0:"), serviceref)

    def test_timer_from_the_guide(self):
        """The second programme of the picker's first channel, picked with the keyboard, is
        on the box with the box's margins, its title, short text and event id."""
        self.start()
        self.open_picker_with_guide()
        self.program.keys(PICKER, "Tab", "Down", "Return")
        self.program.wait_gone(PICKER)
        self.program.wait_window(NEW_EDITOR)
        self.program.keys(NEW_EDITOR, "ctrl+s")
        self.program.wait_gone(NEW_EDITOR)
        self.save_and_exit()
        after = self.assert_saved(11)
        (new,) = [dict(t["attributes"]) for k, t in after.items() if k not in self.before]
        fields = new["serviceref"].split(":")
        key = (int(fields[3], 16), int(fields[5], 16), int(fields[4], 16))
        with open(os.path.join(self.box.status["box"], "media", "hdd", "epg.dat"), "rb") as f:
            events = read_guide(f.read())[key]
        (event,) = [e for e in events if e[0] == int(new["eit"])]
        event_id, begin, duration, title, short = event
        self.assertEqual((int(new["begin"]), int(new["end"])),
                         (begin - MARGIN_BEFORE, begin + duration + MARGIN_AFTER))
        self.assertEqual((new["name"], new["description"]), (title, short))

    def test_edit(self):
        self.start()
        self.edit_second_timer()
        self.save_and_exit()
        # The grid lists by begin: the second line is the first timer of tomorrow.
        key = sorted(self.before, key=lambda k: int(k.split("/")[0]))[1]
        after = self.assert_saved(10, edited=(key,))
        was = dict(self.before[key]["attributes"], name=NEW_NAME)
        self.assertEqual((dict(after[key]["attributes"]), after[key]["children"]),
                         (was, self.before[key]["children"]))

    def test_disable(self):
        self.start()
        self.program.keys(MAIN, "Down", "alt+n")
        self.save_and_exit()
        key = sorted(self.before, key=lambda k: int(k.split("/")[0]))[1]
        after = self.assert_saved(10, edited=(key,))
        was = dict(self.before[key]["attributes"], disabled="1")
        self.assertEqual((dict(after[key]["attributes"]), after[key]["children"]),
                         (was, self.before[key]["children"]))

    def test_delete(self):
        self.start()
        self.program.keys(MAIN, "Down", "alt+d")
        self.save_and_exit()
        after = self.assert_saved(9)
        self.assertEqual(len(set(self.before) - set(after)), 1)

    def test_keys(self):
        """The keys a desktop user reaches for: Enter on the grid edits and Enter in the
        editor saves, Escape leaves the picker, the Delete key deletes."""
        self.start()
        p = self.program
        p.keys(MAIN, "Down", "Return")
        p.wait_window(EDIT_EDITOR)
        p.keys(EDIT_EDITOR, "ctrl+a")
        p.type_text(EDIT_EDITOR, NEW_NAME)
        p.keys(EDIT_EDITOR, "Return")
        p.wait_gone(EDIT_EDITOR)
        p.keys(MAIN, "alt+a")
        p.wait_window(PICKER)
        p.keys(PICKER, "Escape")
        p.wait_gone(PICKER)
        p.keys(MAIN, "Down", "Delete")
        self.save_and_exit()
        by_begin = sorted(self.before, key=lambda k: int(k.split("/")[0]))
        edited, deleted = by_begin[1], by_begin[2]
        after = self.assert_saved(9, edited=(edited,))
        self.assertNotIn(deleted, after)
        self.assertEqual(dict(after[edited]["attributes"])["name"], NEW_NAME)

    def test_root_password(self):
        self.start("--password", "geheim", "--host-name", "vuduo2")
        self.append_timer()
        self.save_and_exit()
        self.assert_saved(11)

    def test_slow_box(self):
        self.start("--fault", "slow=150")
        self.append_timer()
        self.save_and_exit()
        self.assert_saved(11)

    def test_refused_rename_stores_directly_when_asked(self):
        self.start("--fault", "refuse_rename")
        self.append_timer()
        self.save_and_exit()
        question = self.program.wait_message()
        self.assertIn("refused to put the new list in place", question["text"])
        self.program.answer(question, "alt+y")
        self.assert_saved(11)

    def test_refused_login(self):
        self.start()
        self.append_timer()
        self.box.fault("refuse_login=ftp")
        self.save_and_exit()
        self.assert_refused("530")

    def test_refused_store(self):
        self.start()
        self.append_timer()
        self.box.fault("refuse_store")
        self.save_and_exit()
        self.assert_refused("553")

    def test_cut_store(self):
        self.start()
        self.append_timer()
        self.box.fault("cut_store=200")
        self.save_and_exit()
        # However the break shows (the box's reply, or silence until the reply bound of 15 s),
        # timers.xml on the box must be whole and unchanged.
        self.assert_refused(within=35)

    def test_no_telnet(self):
        self.start()
        self.append_timer()
        self.box.fault("no_telnet")
        self.save_and_exit()
        self.assert_refused("restart", list_on_box_changed=True)
        self.assertEqual(self.box.timers_xml().count(b"<timer "), 11)

    def test_telnet_login_refused(self):
        self.start()
        self.append_timer()
        self.box.fault("refuse_login=telnet")
        self.save_and_exit()
        self.assert_refused("restart", list_on_box_changed=True)

    def test_timer_added_on_the_box_is_kept_without_a_question(self):
        self.start()
        self.append_timer()
        self.box.run("change-timers")
        self.save_and_exit()
        after = self.assert_saved(12)
        names = [dict(t["attributes"]).get("name") for t in after.values()]
        self.assertIn("Added on the box", names)

    def move_end_on_the_box_and_rename_here(self):
        """The box moves the end of the grid's second timer 30 minutes later while the program
        is open, as a guide update does, and writes its list; the user then renames that timer.
        Returns the timer's key and its new end."""
        key = sorted(self.before, key=lambda k: int(k.split("/")[0]))[1]
        was = dict(self.before[key]["attributes"])
        timer = next(t for t in self.box.web_call("timerlist")["timers"]
                     if t["begin"] == int(was["begin"]) and t["name"] == was["name"])
        end = timer["end"] + 1800
        reply = self.box.web_call(
            "timerchange", sRef=timer["serviceref"], begin=timer["begin"], end=end,
            name=timer["name"], description=timer["description"],
            disabled=timer["disabled"], justplay=timer["justplay"],
            afterevent=timer["afterevent"], repeated=timer["repeated"], tags=timer["tags"],
            channelOld=timer["serviceref"], beginOld=timer["begin"], endOld=timer["end"])
        self.assertTrue(reply["result"], reply)
        self.assertTrue(self.box.web_call("timerlistwrite")["result"])
        self.edit_second_timer()
        return key, end

    def test_end_moved_on_the_box_and_renamed_here_is_one_timer(self):
        self.start()
        key, end = self.move_end_on_the_box_and_rename_here()
        self.save_and_exit()
        after = self.assert_saved(10, edited=(key,))
        saved = dict(after[key]["attributes"])
        self.assertEqual((saved["name"], int(saved["end"])), (NEW_NAME, end))

    def test_running_recording_is_asked_about_first(self):
        self.start()
        self.append_timer()
        self.box.run("start-recording")
        self.save_and_exit()
        question = self.program.wait_message()
        self.assertIn("A recording is running on the box:", question["text"])
        self.assertIn("Recording now until", question["text"])
        self.program.answer(question, "Return")  # No is the default
        self.assert_refused("nothing was sent")

    # --- live through the box's web interface
    def assert_applied_live(self):
        """The program ended by itself without restarting the receiver, which wrote its list
        when asked to; the web interface's request log is returned."""
        self.assertEqual(self.program.wait_exit(), 0)
        status = self.box.live_status()
        self.assertEqual((status["kills"], status["receiver_starts"]), (0, 1))
        log = self.box.web_log()
        self.assertIn("/api/timerlistwrite", log)
        return log

    def test_live_new_and_deleted_timer(self):
        self.start(web=True)
        self.program.keys(MAIN, "Down", "alt+d")
        self.append_timer("Live")
        self.save_and_exit()
        log = self.assert_applied_live()
        self.assertEqual([log.count("/api/" + call + "?")
                          for call in ("timeradd", "timerdelete", "timerchange")], [1, 1, 0])
        after = file_timers(self.box.timers_xml())
        self.assertEqual((len(after), len(set(after) - set(self.before)),
                          len(set(self.before) - set(after))), (10, 1, 1))

    def test_live_end_moved_on_the_box_and_renamed_here_is_one_timer(self):
        self.start(web=True)
        key, end = self.move_end_on_the_box_and_rename_here()
        self.save_and_exit()
        log = self.assert_applied_live()
        # The box's own change and the program's, which names the timer as the box holds it.
        self.assertEqual([log.count("/api/" + call + "?")
                          for call in ("timeradd", "timerdelete", "timerchange")], [0, 0, 2])
        after = file_timers(self.box.timers_xml())
        self.assertEqual(len(after), 10)
        self.assertEqual((after[key].get("name"), int(after[key].get("end"))), (NEW_NAME, end))

    def test_live_conflict_is_shown_and_the_program_stays_open(self):
        self.start(web=True)
        # Two recordings on two other transponders, set on the box after the program read it,
        # take both tuners for longer than the new timer can lie ahead.
        now = int(time.time())
        tv, _ = demo_data.make_services()
        for service, name in ((tv[20], "Concert"), (tv[40], "Marathon")):
            reply = self.box.web_call("timeradd", sRef=service.reference(), begin=now - 1800,
                                      end=now + 7 * 3600, name=name)
            self.assertTrue(reply["result"], reply)
        self.append_timer("Live")
        self.save_and_exit()
        # Asked first, with the box's two new recordings in the check; Yes sends it anyway.
        question = self.program.wait_message()
        for fragment in ('"Live"', '"Concert"', '"Marathon"', "The box will refuse these"):
            self.assertIn(fragment, question["text"])
        self.program.answer(question, "alt+y")
        message = self.program.wait_next_message(question)
        for fragment in ("did not take the change", "refused: it collides with", '"Concert"',
                         '"Marathon"', "still to save"):
            self.assertIn(fragment, message["text"])
        self.program.answer(message, "Return")
        self.program.wait_main_window()
        self.assertTrue(self.program.running())
        self.assertEqual(self.box.live_status()["kills"], 0)
        self.assertEqual(len(file_timers(self.box.timers_xml())), 12)

    def test_conflict_is_marked_and_no_to_the_save_question_sends_nothing(self):
        """The demo list's third recording at once is marked before anything is saved, the
        filter shows it alone, and Save && Exit asks first: No (the default) sends nothing.
        Without the web interface: a live save merges with the receiver's memory, where the
        receiver switched the conflict off at load."""
        self.start("--conflict", "--fault", "no_web=404", web=True, timers=13)
        p = self.program
        marked = p.wait_cells(MAIN, lambda cells: any("\u26a0" in c for c in cells),
                              "the conflict mark in the grid")
        self.assertEqual(sum("\u26a0" in c for c in marked), 1, marked)
        self.assertIn("Quiz van de Week", marked)
        p.keys(MAIN, "ctrl+k")
        only = p.wait_cells(MAIN, lambda cells: "Quiz van de Week" not in cells,
                            "the grid showing only the conflict")
        self.assertIn("Journaal", only)
        p.keys(MAIN, "ctrl+k")
        self.edit_second_timer()
        self.save_and_exit()
        message = p.wait_message()
        for fragment in ('"Journaal"', "The receiver will switch these off", "No sends nothing"):
            self.assertIn(fragment, message["text"])
        p.answer(message, "Return")
        p.wait_main_window()
        self.assertTrue(p.running())
        self.assertEqual(self.box.timers_xml(), self.box_file_before_save)
        log = self.box.web_log()
        self.assertEqual([log.count("/api/" + call) for call in ("timeradd", "timerchange",
                                                                  "timerdelete")], [0, 0, 0])
        self.assertEqual(self.box.live_status()["kills"], 0)

    def test_no_web_interface_takes_the_upload_route(self):
        self.start("--fault", "no_web=404", web=True)
        self.append_timer()
        self.save_and_exit()
        self.assert_saved(11)
        self.assertNotIn("/api/timer", self.box.web_log())


if __name__ == "__main__":
    if not os.access(BINARY, os.X_OK):
        raise HarnessError("no program at %s" % BINARY)
    unittest.main(verbosity=2)
