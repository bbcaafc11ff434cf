#!/usr/bin/env python3
"""txconv converts a MIDI file with the loopback sound device (winetxloop.drv beside it) as
the prefix's sound driver: the WAV it writes is as long as the piece and holds its notes.
The driver setting is put back afterwards, so this check runs alone.

usage: check_txconv_midi.py RUNNER TXCONV_EXE
"""
import os
import subprocess
import sys
import tempfile

runner, txconv = sys.argv[1], sys.argv[2]
DRIVERS = r"HKCU\Software\Wine\Drivers"
NOTES = [69, 71, 73, 74]  # one second each


def midi_file(notes):
    def vlq(value):
        out = [value & 0x7F]
        value >>= 7
        while value:
            out.insert(0, 0x80 | (value & 0x7F))
            value >>= 7
        return bytes(out)

    track = b"".join(b"\x00\x90" + bytes([n]) + b"\x64" + vlq(192) + b"\x80" + bytes([n]) + b"\x40" for n in notes)
    track += b"\x00\xff\x2f\x00"
    return b"MThd" + (6).to_bytes(4, "big") + b"\x00\x00\x00\x01\x00\x60" + b"MTrk" + len(track).to_bytes(4, "big") + track


def peak_frequency(path, start):
    stat = subprocess.run(["sox", path, "-n", "trim", str(start), "0.5", "stat", "-freq"],
                          capture_output=True, text=True).stderr
    best = (0.0, 0.0)
    for line in stat.splitlines():
        fields = line.split()
        try:
            hz, power = float(fields[0]), float(fields[1])
        except (IndexError, ValueError):
            continue
        if hz > 50 and power > best[1]:
            best = (hz, power)
    return best[0]


failures = []
with tempfile.TemporaryDirectory() as tmp:
    mid = os.path.join(tmp, "scale.mid")
    with open(mid, "wb") as f:
        f.write(midi_file(NOTES))
    subprocess.run([runner, "reg", "add", DRIVERS, "/v", "Audio", "/d", "txloop", "/f"], capture_output=True, check=True)
    try:
        result = subprocess.run([runner, txconv, "-f", "Wave", "-y", "Z:" + mid.replace("/", "\\")],
                                capture_output=True, text=True, timeout=120)
    finally:
        subprocess.run([runner, "reg", "delete", DRIVERS, "/v", "Audio", "/f"], capture_output=True)
    wav = os.path.join(tmp, "scale.wav")
    seconds = float(subprocess.run(["soxi", "-D", wav], capture_output=True, text=True).stdout.strip() or -1)
    print("rc %d, %.2f s" % (result.returncode, seconds))
    if result.returncode != 0 or not 3.8 <= seconds <= 5.0:
        failures.append("length: rc %d, %.2f s\n%s" % (result.returncode, seconds, result.stdout + result.stderr))
    else:
        for i, note in enumerate(NOTES):
            expected = 440 * 2 ** ((note - 69) / 12)
            # Mid-note, allowing for the recording starting a little before the sequencer.
            got = peak_frequency(wav, i + 0.3)
            print("note %d: %.1f Hz, expected %.1f" % (note, got, expected))
            if abs(got - expected) > 8:
                failures.append("note %d: %.1f Hz" % (note, got))

for failure in failures:
    print("BAD", failure)
print("%d passed, %d failed" % (0 if failures else 1, len(failures)))
sys.exit(1 if failures else 0)
