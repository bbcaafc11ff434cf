#!/usr/bin/env python3
"""The bench's drive model reads a cue sheet as cuetools do: the track count, each track's
start (cuebreakpoints), the lead-out from the .bin size, and titles and performers (cueprint)
against READ TOC and the CD-Text packs the model answers with (CRC checked by cdbench). The
TrackNN.cda files it writes for the same sheet hold those starts and lengths.

usage: check_cdbench_toc.py RUNNER CDBENCH_EXE   (RUNNER runs a Windows program under Wine)
"""
import os
import random
import struct
import subprocess
import sys
import tempfile

runner, cdbench = sys.argv[1], sys.argv[2]

# (frames of pregap kept in the file as INDEX 00, frames from INDEX 01 on, title, performer)
SHEETS = {
    "plain": [(0, 225, "First Song", "Singer A"), (0, 188, "Second", "Singer B"), (0, 75, "Third", "Band")],
    "gaps": [(0, 300, "Intro", "X"), (150, 112, "Gap Before Me", "Y"), (37, 1000, "A Rather Long Title To Span Packs", "Z"),
             (0, 1, "One Frame", "W")],
    "odd": [(0, 100, "A", "P"), (0, 333, "B", "Q")],  # the .bin ends in half a frame
}


def cue_time(frames):
    return "%02d:%02d:%02d" % (frames // 4500, frames // 75 % 60, frames % 75)


def packed(frames):
    return frames // 4500 << 16 | frames // 75 % 60 << 8 | frames % 75


def frames_of(breakpoint):
    minutes, rest = breakpoint.split(":")
    seconds, frames = rest.split(".")
    return (int(minutes) * 60 + int(seconds)) * 75 + int(frames)


failed = 0
with tempfile.TemporaryDirectory() as temp:
    for name, tracks in SHEETS.items():
        cue = ['TITLE "Album %s"' % name, 'PERFORMER "Artist %s"' % name, 'FILE "%s.bin" BINARY' % name]
        pos = 0
        for number, (pregap, frames, title, performer) in enumerate(tracks, 1):
            cue += ["  TRACK %02d AUDIO" % number, '    TITLE "%s"' % title, '    PERFORMER "%s"' % performer]
            if pregap:
                cue.append("    INDEX 00 " + cue_time(pos))
            cue.append("    INDEX 01 " + cue_time(pos + pregap))
            pos += pregap + frames
        size = pos * 2352 - (1176 if name == "odd" else 0)
        path = os.path.join(temp, name + ".cue")
        with open(path, "w") as f:
            f.write("\n".join(cue) + "\n")
        with open(os.path.join(temp, name + ".bin"), "wb") as f:
            f.write(random.randbytes(size))

        breakpoints = subprocess.run(["cuebreakpoints", path], capture_output=True, text=True, check=True).stdout.split()
        count = int(subprocess.run(["cueprint", "-d", "%N", "-t", "", path], capture_output=True, text=True,
                                   check=True).stdout)
        texts = {}
        for number in range(1, count + 1):
            line = subprocess.run(["cueprint", "-n", str(number), "-d", "", "-t", "%t\t%p", path],
                                  capture_output=True, text=True, check=True).stdout
            texts["title %d" % number], texts["performer %d" % number] = line.rstrip("\n").split("\t")
        disc = subprocess.run(["cueprint", "-d", "%T\t%P", "-t", "", path], capture_output=True, text=True,
                              check=True).stdout
        texts["title 0"], texts["performer 0"] = disc.rstrip("\n").split("\t")
        expected_starts = [0] + [frames_of(b) for b in breakpoints]
        expected_leadout = (size + 2351) // 2352

        run = subprocess.run([runner, cdbench, "toc", "Z:" + path.replace("/", "\\")], capture_output=True, text=True)
        starts, leadout, got_texts, problems = [], None, {}, []
        for line in run.stdout.splitlines():
            words = line.split(" ", 2)
            if words[0] == "track":
                starts.append(int(line.split()[3]))
            elif words[0] == "leadout":
                leadout = int(words[1])
            elif words[0] in ("title", "performer"):
                got_texts[words[0] + " " + words[1]] = words[2]
            elif words[0] == "crc":
                problems.append(line)
        ok = (run.returncode == 0 and len(starts) == count and starts == expected_starts and
              leadout == expected_leadout and got_texts == texts and not problems)
        print("%-3s %s: starts %s (cuebreakpoints %s), lead-out %s (%d), %d texts%s" %
              ("ok" if ok else "BAD", name, starts, expected_starts, leadout, expected_leadout, len(got_texts),
               "" if got_texts == texts else "\n  got %s\n  cueprint %s" % (got_texts, texts)))
        if not ok:
            print(run.stdout, run.stderr)
        failed += not ok

        cda_dir = os.path.join(temp, name + "-cda")
        os.mkdir(cda_dir)
        rc = subprocess.run([runner, cdbench, "cda", "Z:" + path.replace("/", "\\"),
                             "Z:" + cda_dir.replace("/", "\\")]).returncode
        ends = expected_starts[1:] + [expected_leadout]
        key = sum(packed(s + 150) for s in expected_starts)
        want = [("Track%02d.cda" % (i + 1), (1, i + 1, key, s, e - s, packed(s + 150), packed(e - s)))
                for i, (s, e) in enumerate(zip(expected_starts, ends))]
        got = []
        for file in sorted(os.listdir(cda_dir)):
            with open(os.path.join(cda_dir, file), "rb") as f:
                data = f.read()
            header = struct.unpack("<4sI4s4sI", data[:20])
            got.append((file, struct.unpack("<HHIIIII", data[20:44]) if header == (b"RIFF", 36, b"CDDA", b"fmt ", 24)
                        else header))
        ok = rc == 0 and got == want
        print("%-3s %s: %d .cda files%s" % ("ok" if ok else "BAD", name, len(got),
                                            "" if ok else "\n  got %s\n  want %s" % (got, want)))
        failed += not ok
sys.exit(1 if failed else 0)
