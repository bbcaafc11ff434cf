#!/usr/bin/env python3
"""The image the bench's CD-R writer exports after the engine wrote a disc is one that other
tools read: bchunk splits it into WAV tracks whose samples are the track files the engine was
given (the last frame filled up with silence), and cueprint finds its titles and performers.

usage: check_burn_image.py RUNNER RECORDER_TEST_EXE   (RUNNER runs a Windows program under Wine)
"""
import os
import subprocess
import sys
import tempfile

runner, test = sys.argv[1], sys.argv[2]
TITLES = [("Album", "Band"), ("A first title longer than a pack", "Singer A"), ("Two", "Singer B"), ("Three", "")]

failed = 0
with tempfile.TemporaryDirectory() as temp:
    env = dict(os.environ, TX_RECORDER_EXPORT="Z:" + temp.replace("/", "\\"))
    run = subprocess.run([runner, test, "--gtest_filter=RecorderTest.WrittenDisc*"], env=env, capture_output=True,
                         text=True)
    if run.returncode != 0:
        print(run.stdout, run.stderr)
        sys.exit(1)
    cue = os.path.join(temp, "out.cue")
    split = subprocess.run(["bchunk", "-w", os.path.join(temp, "out.bin"), cue, os.path.join(temp, "part")],
                           capture_output=True, text=True)
    for number in range(1, 4):
        with open(os.path.join(temp, "track%d.pcm" % number), "rb") as f:
            want = f.read()
        want += bytes(-len(want) % 2352)
        try:
            with open(os.path.join(temp, "part%02d.wav" % number), "rb") as f:
                wav = f.read()
            got = wav[wav.index(b"data") + 8:]
        except (OSError, ValueError):
            got = None
        ok = split.returncode == 0 and got == want
        print("%-3s bchunk track %d: %s bytes, the track file %d" % ("ok" if ok else "BAD", number,
                                                                    None if got is None else len(got), len(want)))
        if not ok:
            print(split.stdout, split.stderr)
        failed += not ok

    texts = [subprocess.run(["cueprint", "-d", "%T\t%P", "-t", "", cue], capture_output=True, text=True).stdout]
    for number in range(1, 4):
        texts.append(subprocess.run(["cueprint", "-n", str(number), "-d", "", "-t", "%t\t%p", cue],
                                    capture_output=True, text=True).stdout)
    got = [tuple(t.rstrip("\n").split("\t")) for t in texts]
    ok = got == TITLES
    print("%-3s cueprint: %s" % ("ok" if ok else "BAD", got if ok else "%s, want %s" % (got, TITLES)))
    failed += not ok
sys.exit(1 if failed else 0)
