#!/usr/bin/python3
"""screenshot.py PROGRAM OUT.png: the main window of the real program on the demo box, taken
under Xvfb, for the README."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_harness import MAIN_WINDOW, STEP_WAIT, Session  # noqa: E402


def main():
    program, out = sys.argv[1], os.path.abspath(sys.argv[2])
    session = Session(program)
    try:
        window = session.program.wait_main_window()
        time.sleep(1)  # let the grid paint
        subprocess.run(["import", "-window", window, out], env=session.program.env,
                       check=True, timeout=STEP_WAIT)
        print("%s: the window /%s/" % (out, MAIN_WINDOW))
    finally:
        session.close()


if __name__ == "__main__":
    main()
