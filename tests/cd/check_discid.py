#!/usr/bin/env python3
"""The drive engine's CDDB disc ids against libdiscid's: AudioCDTest prints the table of
contents of each virtual disc it reads (first and last track, lead-out and track offsets in
frames from the start of the lead-in) with the engine's id; libdiscid computes its own from
the same numbers.

usage: check_discid.py RUNNER AUDIOCDTEST_EXE   (RUNNER runs a Windows program under Wine)
"""
import subprocess
import sys

from libdiscid.compat import discid

runner, program = sys.argv[1], sys.argv[2]
run = subprocess.run([runner, program, "--gtest_filter=*DiscIdsForLibdiscid"], capture_output=True, text=True)
lines = [line.split() for line in run.stdout.splitlines() if line.startswith("DISCID ")]
if run.returncode != 0 or len(lines) < 4:
    print(run.stdout, run.stderr)
    sys.exit("AudioCDTest failed or printed %d tables of contents" % len(lines))

failed = 0
for words in lines:
    name, first, last, sectors = words[1], int(words[2]), int(words[3]), int(words[4])
    offsets = [int(w) for w in words[5:words.index("=")]]
    engine = words[-1]
    disc = discid.put(first, last, sectors, offsets)
    expected = disc.freedb_id.lower()
    status = "ok" if expected == engine else "MISMATCH"
    failed += expected != engine
    print("%-9s %d tracks: engine %s, libdiscid %s %s" % (name, len(offsets), engine, expected, status))
sys.exit(1 if failed else 0)
