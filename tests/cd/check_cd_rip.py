#!/usr/bin/env python3
"""Rips a disc image through txconv and the CD bench's virtual drive, along both read paths, and
checks the outputs byte for byte against the image's tracks (read back with sox), the rip log's
CRC32 against zlib and its AccurateRip v1/v2 checksums against whipper's accuraterip-checksum,
frames that fail a few times or always (with and without ErrorMode), and a start 1000 ms in.

usage: check_cd_rip.py RUNNER TXCONV_EXE
"""
import os
import re
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from txcheck import check, finish, win  # noqa: E402

runner, txconv = sys.argv[1], sys.argv[2]
FRAME = 2352
LENGTHS = [320, 201, 263]  # frames; 201 and 263 are no multiples of 27


def txconv_run(*args):
    result = subprocess.run([runner, txconv] + list(args), capture_output=True, timeout=300, encoding="utf-8",
                            errors="replace")
    return result.returncode, result.stdout, result.stderr


def pcm_of(wav):
    """The PCM of a WAV file as sox reads it (16-bit stereo, no header)."""
    return subprocess.run(["sox", wav, "-t", "raw", "-"], capture_output=True, check=True).stdout


def log_tracks(log):
    """The rip log's per-track fields: {number: {field: value}}."""
    tracks, current = {}, None
    for line in log.splitlines():
        m = re.match(r"Track (\d+)", line)
        if m:
            current = tracks.setdefault(int(m.group(1)), {})
        elif current is not None and line.startswith("  "):
            key, _, value = line.strip().partition("  ")
            current[key.strip()] = value.strip()
    return tracks


def accuraterip(wav, number, total, version):
    out = subprocess.run(["accuraterip-checksum", "--accuraterip-v%d" % version, wav, str(number), str(total)],
                         capture_output=True, text=True, check=True).stdout
    return out.strip().upper()


with tempfile.TemporaryDirectory() as tmp:
    # The disc: one WAV file of noise per track, so that no frame looks like another.
    tracks = []
    cue = ""
    for i, frames in enumerate(LENGTHS, 1):
        path = os.path.join(tmp, "t%d.wav" % i)
        subprocess.run(["sox", "-r", "44100", "-c", "2", "-n", "-b", "16", path, "synth", "%ds" % (frames * 588),
                        "whitenoise", "vol", "0.4"], check=True, capture_output=True)
        tracks.append(path)
        cue += 'FILE "t%d.wav" WAVE\n  TRACK %02d AUDIO\n    INDEX 01 00:00:00\n' % (i, i)
    with open(os.path.join(tmp, "disc.cue"), "w") as f:
        f.write(cue)
    cue_path = os.path.join(tmp, "disc.cue")
    expected = [pcm_of(t) for t in tracks]
    starts = [sum(LENGTHS[:i]) for i in range(len(LENGTHS))]

    rc, out, err = txconv_run("--virtual-drive", win(cue_path), "--cd")
    check(rc == 0 and re.search(r"02\s+0:02\.51\s+Track 2", out), "--cd lists the disc",
          out + err)

    def rip(name, *args, settings=None):
        outdir = os.path.join(tmp, name)
        os.mkdir(outdir)
        extra = []
        if settings:
            path = os.path.join(tmp, name + ".txt")
            with open(path, "w") as f:
                f.write(settings)
            extra = ["--drive-settings", win(path)]
        rc, out, err = txconv_run("--virtual-drive", win(cue_path), *extra, "--cd", "D:", "-f", "Wave",
                                  "-o", win(outdir), "-y", "--no-cddb", *args)
        outputs = {}
        for entry in sorted(os.listdir(outdir)):
            m = re.match(r"(\d\d) ", entry)
            if m and entry.endswith(".wav"):
                outputs[int(m.group(1))] = os.path.join(outdir, entry)
        log = ""
        if os.path.exists(os.path.join(outdir, "txconv-rip.log")):
            with open(os.path.join(outdir, "txconv-rip.log")) as f:
                log = f.read()
        return rc, out + err, outputs, log

    # Both paths: every track bit-exact, and the log's checksums those of zlib and whipper.
    for name, args in (("direct", []), ("secure", ["--secure", "--jitter", "on"])):
        rc, text, outputs, log = rip(name, *args)
        check(rc == 0 and sorted(outputs) == [1, 2, 3], name + ": three tracks ripped", text)
        info = log_tracks(log)
        for n, path in outputs.items():
            pcm = pcm_of(path)
            check(pcm == expected[n - 1], "%s: track %d bit-exact (%d of %d bytes)" % (name, n, len(pcm),
                                                                                      len(expected[n - 1])))
            fields = info.get(n, {})
            want = {"CRC32": "%08X" % zlib.crc32(expected[n - 1]),
                    "AccurateRip v1": accuraterip(tracks[n - 1], n, 3, 1),
                    "AccurateRip v2": accuraterip(tracks[n - 1], n, 3, 2)}
            got = {key: fields.get(key) for key in want}
            check(got == want, "%s: track %d checksums in the log" % (name, n), "log %s, expected %s" % (got, want))
        check(("secure" if name == "secure" else "direct") in log and log in text,
              name + ": the log names the path and is printed", log)

    # A frame that fails twice reads with --retries 2; one that always fails becomes silence
    # with --error-mode and is named in the log by its LBA.
    bad = starts[1] + 100
    rc, text, outputs, log = rip("retries", "--secure", "--tracks", "2", "--retries", "2",
                                 settings="medium-error %d 2\n" % bad)
    fields = log_tracks(log).get(2, {})
    check(rc == 0 and 2 in outputs and pcm_of(outputs[2]) == expected[1] and fields.get("frames re-read") != "0",
          "secure: a frame failing twice is read with --retries 2", text)
    rc, text, outputs, log = rip("silence", "--secure", "--tracks", "2", "--error-mode",
                                 settings="medium-error %d\n" % bad)
    want = bytearray(expected[1])
    want[100 * FRAME:101 * FRAME] = bytes(FRAME)
    fields = log_tracks(log).get(2, {})
    check(rc == 0 and 2 in outputs and pcm_of(outputs[2]) == bytes(want), "--error-mode: the bad frame is silence",
          text)
    check(fields.get("silenced frames") == "1 at LBA %d" % bad, "--error-mode: the log names the frame", log)

    # Without it the track fails with the engine's error, and its partial output goes.
    rc, text, outputs, log = rip("fail", "--secure", "--tracks", "2", "--error-mode=0", "--retries", "1",
                                 settings="medium-error %d\n" % bad)
    errors = [line for line in text.splitlines() if line.startswith("error:")]
    check(rc == 1 and not outputs and errors and "partial output removed" in text,
          "--error-mode=0: the rip fails and leaves no output", text)

    # A start 1000 ms in reads from 75 frames into the track.
    rc, text, outputs, log = rip("start", "--secure", "--tracks", "3", "--start", "1000")
    fields = log_tracks(log).get(3, {})
    check(rc == 0 and 3 in outputs and pcm_of(outputs[3]) == expected[2][75 * FRAME:],
          "--start 1000: the output begins 75 frames in", text)
    check(fields.get("frames", "").startswith("%d of %d from LBA %d" % (LENGTHS[2] - 75, LENGTHS[2], starts[2] + 75)),
          "--start 1000: the log says where the read began", log)

finish()
