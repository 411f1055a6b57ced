#!/usr/bin/python3
"""screenshot.py PROGRAM OUT.png [picker]: the main window of the real program on the demo box,
taken under Xvfb, for the README; with "picker", the channel picker with the guide of a
channel instead, once the guide has been fetched."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_harness import MAIN_WINDOW, STEP_WAIT, Session  # noqa: E402

PICKER = "^Select channel$"
GUIDE_WAIT = 5  # seconds for the guide's fetch and reading after the window shows


def main():
    program, out = sys.argv[1], os.path.abspath(sys.argv[2])
    picker = sys.argv[3:] == ["picker"]
    session = Session(program)
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
        subprocess.run(["import", "-window", window, out], env=session.program.env,
                       check=True, timeout=STEP_WAIT)
        print("%s: the window /%s/" % (out, PICKER if picker else MAIN_WINDOW))
    finally:
        session.close()


if __name__ == "__main__":
    main()
