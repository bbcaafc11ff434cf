#!/usr/bin/env python3
"""Mutated Wave (PCM and ADPCM), AIFF, MP3, Ogg Vorbis and FLAC files through Open, Play and Close
of the real DLL for a bounded time: every file must end without a crash, without outlasting the
decoders' stall limit and without leaving a temporary file. A failing file is kept as
OUTDIR/<index><ext>; the same seed and index make it again.

usage: check_mutated_files.py RUNNER MUTATETOOL SECONDS [SEED]
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

runner, tool, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
seed = int(sys.argv[4]) if len(sys.argv) > 4 else int(time.time())
STALL_MS = 2000
outdir = os.path.join(os.path.dirname(runner), "mutation")


def win(path):
    return "Z:" + path.replace("/", "\\")


def make_fixtures(d):
    tone = os.path.join(d, "tone.wav")
    sox = ["sox", "-q", "-n", "-r", "22050", "-c", "2", "-b", "16"]
    subprocess.run(sox + [tone, "synth", "0.6", "sine", "440", "sine", "660"], check=True)
    made = {"pcm.wav": None, "adpcm.wav": ["sox", "-q", tone, "-e", "ms-adpcm", os.path.join(d, "adpcm.wav")],
            "tone.aiff": ["sox", "-q", tone, os.path.join(d, "tone.aiff")],
            "tone.mp3": ["lame", "--quiet", "-b", "64", "--tt", "Title", "--ta", "Artist", tone,
                         os.path.join(d, "tone.mp3")],
            "tone.ogg": ["oggenc", "-Q", "-q", "0", "-t", "Title", tone, "-o", os.path.join(d, "tone.ogg")],
            "tone.flac": ["flac", "-s", "-f", "-T", "TITLE=Title", tone, "-o", os.path.join(d, "tone.flac")]}
    shutil.copy(tone, os.path.join(d, "pcm.wav"))
    for command in made.values():
        if command:
            subprocess.run(command, check=True)
    return [os.path.join(d, name) for name in made]


def main():
    os.makedirs(outdir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="trelvox-mutate-")
    fixtures = make_fixtures(work)
    print("seed %d, %d s, fixtures: %s" % (seed, seconds, " ".join(os.path.basename(f) for f in fixtures)))
    deadline = time.monotonic() + seconds
    first, files, failures, slowest, held = 0, 0, [], (0, -1), 0
    per_fixture = {}
    while time.monotonic() < deadline - 5:
        left = int(deadline - time.monotonic())
        env = dict(os.environ, TRELVOX_STALL_MS=str(STALL_MS))
        try:
            result = subprocess.run([runner, tool, win(work), str(seed), str(first), str(left)] +
                                    [win(f) for f in fixtures], capture_output=True, encoding="utf-8",
                                    errors="replace", timeout=left + 120, env=env)
            out, errors, code = result.stdout, result.stderr, result.returncode
        except subprocess.TimeoutExpired as e:
            out, errors, code = (e.stdout or b"").decode("utf-8", "replace"), "", "timeout"
        current, name, ended = None, None, False
        for line in out.splitlines():
            words = line.split()
            if words[:1] == ["file"]:
                current, name = int(words[1]), os.path.basename(words[2].replace("\\", "/"))
            elif words[:1] == ["done"]:
                files += 1
                per_fixture[name] = per_fixture.get(name, 0) + 1
                ms = int(words[2].split("=")[1])
                slowest = max(slowest, (ms, current))
            elif words[:1] == ["HELD"]:
                held += 1
            elif words[:1] == ["LEAK"]:
                failures.append("leak: file %s (%s) left %s" % (words[1], name, words[2]))
            elif words[:1] in (["HANG"], ["CRASH"]):
                failures.append("%s: file %s (%s) %s" % (words[0].lower(), words[1], name, " ".join(words[2:])))
            elif words[:1] == ["end"]:
                ended = True
        if ended:
            break
        if current is None:
            print("the tool did not start (exit %s):\n%s" % (code, errors))
            return 1
        if not any(f.split(": file ")[1].startswith("%d " % current) for f in failures if ": file " in f):
            failures.append("died: file %d (%s), exit %s" % (current, name, code))
        ext = os.path.splitext(name)[1]
        kept = os.path.join(outdir, "%d%s" % (current, ext))
        shutil.copy(os.path.join(work, "mutated-%d%s" % (current, ext)), kept)
        print("file %d (%s) kept as %s; last lines:\n    %s" %
              (current, name, kept, "\n    ".join((out.splitlines() + errors.splitlines())[-6:])))
        first = current + 1
    shutil.rmtree(work, ignore_errors=True)
    print("%d files (%s), slowest %d ms (file %d), %d still held open by an abandoned decoder, seed %d" %
          (files, ", ".join("%s %d" % kv for kv in sorted(per_fixture.items())), slowest[0], slowest[1], held, seed))
    for failure in failures:
        print("BAD " + failure)
    return 1 if failures or files == 0 else 0


sys.exit(main())
