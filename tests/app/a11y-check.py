#!/usr/bin/env python3
"""The program (process ARGV[1]) through AT-SPI: every control on screen in the main window, the print
dialog, the Waveform and the records window has a name, and those not named by their own text a
description too; the waveform says that no data is shown, and after a fetch from the meter on port
ARGV[2] the data set and the peak voltage that the voltage label reads, as the Waveform chart does."""
import re, sys, time
import pyatspi as A

DESCRIBED = {A.ROLE_COMBO_BOX, A.ROLE_TEXT, A.ROLE_SPIN_BUTTON, A.ROLE_TABLE, A.ROLE_LIST}
CONTROLS = DESCRIBED | {A.ROLE_PUSH_BUTTON, A.ROLE_RADIO_BUTTON, A.ROLE_CHECK_BOX}


def fail(why): sys.exit(f"a11y-check: FAIL: {why}")


def within(seconds, what, found):
    end = time.monotonic() + seconds
    while not (result := found()):
        time.monotonic() < end or fail(what)
        time.sleep(0.2)
    return result


def window(title):  # a window of the program on screen, by the start of its title
    apps = [a for a in A.Registry.getDesktop(0) if a and a.get_process_id() == int(sys.argv[1])]
    return next((w for w in (apps[0] if apps else []) if w and w.name.startswith(title)
                 and w.getState().contains(A.STATE_SHOWING)), None)


def find(root, name, role=A.ROLE_PUSH_BUTTON):
    return A.findDescendant(root, lambda o: o.name == name and o.getRole() == role)


def press(root, name): find(root, name).queryAction().doAction(0)


def check(win):  # every control on screen named, and described unless its own text names it
    for o in A.findAllDescendants(win, lambda o: o.getRole() in CONTROLS and o.getState().contains(A.STATE_SHOWING)):
        if not o.name or (o.getRole() in DESCRIBED and not o.description):
            fail(f"{win.name}: the {o.getRoleName()} {o.name!r} has no name or no description")
    return win


main = check(within(20, "no main window", lambda: window("Voltrane Meter")))
values = A.findAllDescendants(find(main, "Data set shown", A.ROLE_PANEL), lambda o: o.getRole() == A.ROLE_LABEL)
waveform = find(main, "Waveform", A.ROLE_FILLER)
x, y, width, height = waveform.queryComponent().getExtents(A.DESKTOP_COORDS)
if len(values) != 7 or not all(v.name and v.description for v in values) or not waveform.description.startswith("No data shown"):
    fail(f"at start: the value labels {[(v.name, v.description) for v in values]}, the waveform {waveform.description!r}")
find(main, "Port", A.ROLE_TEXT).queryEditableText().setTextContents(sys.argv[2])
press(main, "Set Port")
within(10, "the port did not open", lambda: find(main, "Fetch Data").getState().contains(A.STATE_SENSITIVE))
press(main, "Fetch Data")
peak = within(20, f"after the fetch the waveform area says {waveform.description!r}",
              lambda: re.match(r"Waveform of data set 1, peak voltage (\d+\.\d) kV", waveform.description))[1]
if not any(v.name == f"Voltage = {peak} KV" for v in values):
    fail(f"the waveform area's peak, {peak} kV, is not the voltage label's: {[v.name for v in values]}")
press(main, "Print")
press(check(within(10, "no print dialog", lambda: window("Print"))), "Close")
within(10, "the print dialog stays open", lambda: not window("Print"))
A.Registry.generateMouseEvent(x + width // 2, y + height // 2, A.MOUSE_B1D)
examined = check(within(10, "no Waveform window", lambda: window("Waveform")))
if f"peak voltage {peak} kV" not in (said := find(examined, "Waveform chart", A.ROLE_FILLER).description):
    fail(f"the Waveform window's chart says {said!r}")
press(examined, "Close")
within(10, "the Waveform window stays open", lambda: not window("Waveform"))
A.Registry.generateMouseEvent(x + width // 2, y + height // 2, A.MOUSE_B3C)  # its menu: Up, Return on "Test Records…"
time.sleep(0.5)
for key in (0xFF52, 0xFF0D):
    A.Registry.generateKeyboardEvent(key, None, A.KEY_SYM)
records = within(10, "no records window", lambda: window("Test Records"))
find(records, "Search", A.ROLE_TEXT).queryEditableText().setTextContents("x")  # its clear button shows
time.sleep(0.5)
check(records)
print(f"a11y-check: every control named and described; the waveform said no data, then data set 1 at {peak} kV")
