#!/usr/bin/python3
"""screenshot.py PROGRAM OUT.png [picker]: the main window of the real program on the demo box,
taken under Xvfb, for the README; with "picker", the channel picker with the guide of a
channel instead, once the guide has been fetched.

For the main window the box has its web interface (the Box column shows), and the script does
what a user would: appends a timer that began this minute (so it runs now), widens the window,
sorts by Channel and moves the cursor off the new timer, so that the
picture shows a sorted list with a switched-off timer and a running one in their own colours."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_harness import MAIN_WINDOW, STEP_WAIT, Session  # noqa: E402

PICKER = "^Select channel$"
NEW_EDITOR = "^New Timer$"
GUIDE_WAIT = 5  # seconds for the guide's fetch and reading after the window shows
# Wide enough for every column beside a readable description; the default height.
WINDOW_SIZE = (1180, 516)
NEW_TIMER_NAME = "Laat Journaal"
SORT_COLUMN = "Channel"


def append_running_timer(program):
    """A timer on the picker's first channel whose begin, typed into the editor, is this
    minute: it runs from the moment it is saved until the end the editor proposed."""
    program.keys(MAIN_WINDOW, "alt+a")
    program.wait_window(PICKER)
    program.keys(PICKER, "Down", "Return")  # the first line is a marker
    program.wait_gone(PICKER)
    program.wait_window(NEW_EDITOR)
    program.type_text(NEW_EDITOR, NEW_TIMER_NAME)  # the name is the editor's first field
    # The begin picker takes its digits section by section: day, month, year, hour, minute.
    program.keys(NEW_EDITOR, "Tab")
    program.type_text(NEW_EDITOR, time.strftime("%d%m%y%H%M"))
    program.keys(NEW_EDITOR, "ctrl+s")
    program.wait_gone(NEW_EDITOR)  # times out when the editor refuses the begin


def arrange_main_window(program, window):
    program.xdotool("windowmove", "--sync", window, "0", "0")
    program.xdotool("windowsize", "--sync", window, *map(str, WINDOW_SIZE))
    time.sleep(1)  # the grid lays out its columns again
    x, y, width, height = program.wait_column_headers(MAIN_WINDOW)[SORT_COLUMN]
    program.click(x + width // 2, y + height // 2)
    # The cursor's highlight would hide the new timer's colours: the last row takes it.
    program.keys(MAIN_WINDOW, "ctrl+End")
    time.sleep(1)


def main():
    program, out = sys.argv[1], os.path.abspath(sys.argv[2])
    picker = sys.argv[3:] == ["picker"]
    session = Session(program, web=not picker)
    try:
        window = session.program.wait_main_window()
        time.sleep(1)  # let the grid paint
        if picker:
            time.sleep(GUIDE_WAIT)
            session.program.keys(MAIN_WINDOW, "alt+a")
            window = session.program.wait_window(PICKER)
            # The third channel, and the guide's second programme.
            session.program.keys(PICKER, "Down", "Down", "Tab", "Down")
            time.sleep(1)
        else:
            append_running_timer(session.program)
            arrange_main_window(session.program, window)
        # A window's few colours fit a palette: the file is a third of the size, the
        # picture the same.
        subprocess.run(["import", "-window", window, "+dither", "-colors", "256", "PNG8:" + out],
                       env=session.program.env, check=True, timeout=STEP_WAIT)
        print("%s: the window /%s/" % (out, PICKER if picker else MAIN_WINDOW))
    finally:
        session.close()


if __name__ == "__main__":
    main()
