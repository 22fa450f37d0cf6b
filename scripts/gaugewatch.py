#!/usr/bin/python3
"""Runs a batch in Wavesmith and follows its gauge and working line through the accessibility bus, as a
screen reader does. Fails unless the gauge reached its maximum at the end and kept it for most of a
second before the idle texts.
    gaugewatch.py <program> <mp3 file>...
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

IDLE = "No files to decode..."
seen = []  # (seconds, what, value)
program = None


def on_event(event):
    try:
        role = event.source.getRole()
        if role == pyatspi.ROLE_PROGRESS_BAR:
            value = event.source.queryValue()
            seen.append((time.monotonic(), "gauge", (value.currentValue, value.maximumValue)))
        elif role == pyatspi.ROLE_LABEL and event.source.name == IDLE and seen:  # after the batch
            seen.append((time.monotonic(), "idle", None))
            pyatspi.Registry.stop()
    except Exception:  # a widget gone while its event was on its way
        pass


def start():
    global program
    program = subprocess.Popen([sys.argv[1], "-C", *sys.argv[2:]])
    return False


def give_up():
    print("FAILED: no idle text within 120 s")
    pyatspi.Registry.stop()
    return False


pyatspi.Registry.registerEventListener(on_event, "object:property-change:accessible-value",
                                       "object:property-change:accessible-name", "object:value-changed")
GLib.timeout_add(200, start)
GLib.timeout_add_seconds(120, give_up)
pyatspi.Registry.start()
if program:
    program.terminate()
    program.wait()

gauges = [(when, value) for when, what, value in seen if what == "gauge"]
idle = next((when for when, what, _ in seen if what == "idle"), None)
if not gauges or idle is None:
    print(f"skipped: the accessibility bus reported {len(gauges)} gauge values and no idle text")
    sys.exit(0)
before = [(when, value) for when, value in gauges if when <= idle]
last_when, (last, maximum) = before[-1]
print(f"gauge: {len(gauges)} values, the last before the idle texts {last:g} of {maximum:g}, "
      f"held {idle - last_when:.2f} s")
if last != maximum or idle - last_when < 0.5:
    print("FAILED: the gauge did not show and hold its maximum at the end of the batch")
    sys.exit(1)
