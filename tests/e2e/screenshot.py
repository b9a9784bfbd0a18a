#!/usr/bin/python3
"""Writes a screenshot of Vellumine after the largest JPEG was dropped on it.

    screenshot.py VELLUMINE_BINARY OUTPUT.png
"""
import os
import sys

from vellumine_driver import PLACE, Vellumine
from x_session import XSession, wait_for


def main():
    binary, output = sys.argv[1], sys.argv[2]
    with XSession(width=800, height=600) as session:
        app = Vellumine(session, binary).start()
        photo = session.tmp / "photo.jpeg"
        photo.write_bytes(os.urandom(32000))
        app.drop_and_settle([photo])
        wait_for("the snippet on the clipboard",
                 lambda: (session.clipboard() or "").startswith("background-image"))
        x, y = PLACE
        session.screenshot(output, crop=(240, 270, x - 20, y - 40))


if __name__ == "__main__":
    main()
