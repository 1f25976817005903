#!/usr/bin/python3
"""Starts a program on the X display in $DISPLAY and checks it as a user would see it.

Usage: check_window.py TITLE -- COMMAND [ARGS...]

Passes when a window whose caption begins with TITLE is shown, no message box ("Error" or
"Warning") appears, the program is still running a few seconds later, and it ends with status 0
once that window is closed the way a window manager closes it (WM_DELETE_WINDOW).
"""
import subprocess
import sys
import time

from Xlib import X, display, protocol

STARTUP_LIMIT_S = 1800  # the first start builds the program
STEADY_S = 3
EXIT_LIMIT_S = 20
MESSAGE_BOX_CAPTIONS = ("Error", "Warning")


def window_name(w):
    try:
        name = w.get_wm_name()
        if isinstance(name, bytes):
            name = name.decode("utf-8", "replace")
        return name or ""
    except Exception:
        return ""


def shown_windows(d):
    """(window, caption) of every mapped window below the root, at any depth."""
    found = []
    pending = [d.screen().root]
    while pending:
        w = pending.pop()
        try:
            children = w.query_tree().children
        except Exception:
            continue
        for c in children:
            pending.append(c)
            try:
                if c.get_attributes().map_state != X.IsViewable:
                    continue
            except Exception:
                continue
            name = window_name(c)
            if name:
                found.append((c, name))
    return found


def message_boxes(windows):
    return [name for _, name in windows if name in MESSAGE_BOX_CAPTIONS]


def close(d, w):
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=w, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    w.send_event(event, event_mask=X.NoEventMask)
    d.flush()


def fail(program, why):
    print(f"check-start: {why}", file=sys.stderr)
    if program.poll() is None:
        program.kill()
        program.wait()
    sys.exit(1)


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    title, command = sys.argv[1], sys.argv[3:]
    d = display.Display()
    program = subprocess.Popen(command)
    started = time.monotonic()
    main_window = None
    while main_window is None:
        if program.poll() is not None:
            fail(program, f"the program ended with status {program.returncode} before its window came up")
        if time.monotonic() - started > STARTUP_LIMIT_S:
            fail(program, "no main window came up")
        windows = shown_windows(d)
        if message_boxes(windows):
            fail(program, f"a message box came up at start-up: {message_boxes(windows)}")
        for w, name in windows:
            if name.startswith(title):
                main_window = (w, name)
        time.sleep(0.2)
    shown_at = time.monotonic()
    print(f"check-start: '{main_window[1]}' came up after {shown_at - started:.1f} s")
    while time.monotonic() - shown_at < STEADY_S:
        if program.poll() is not None:
            fail(program, f"the program ended by itself with status {program.returncode}")
        boxes = message_boxes(shown_windows(d))
        if boxes:
            fail(program, f"a message box came up: {boxes}")
        time.sleep(0.2)
    close(d, main_window[0])
    try:
        status = program.wait(timeout=EXIT_LIMIT_S)
    except subprocess.TimeoutExpired:
        fail(program, "the program kept running after its window was closed")
    if status != 0:
        fail(program, f"the program ended with status {status} after its window was closed")
    print("check-start: kept running until closed, then ended with status 0")


if __name__ == "__main__":
    main()
