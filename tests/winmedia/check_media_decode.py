#!/usr/bin/env python3
"""Decodes fixtures through the Windows Media source and the DirectShow source (under Wine)
and compares the PCM with ffmpeg's own decode of the same files: lossless inputs bit for bit,
lossy inputs by length (to the codec's frame size) and signal-to-noise ratio after alignment.
Also checks start times, ISampleReader, error messages and a sink that refuses data.

usage: check_media_decode.py RUNNER MEDIATOOL [--measure]
--measure prints decode throughput of longer MP3 and FLAC files instead.
"""
import array
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

runner, tool = sys.argv[1], sys.argv[2]
RATE = 44100
CHIRP = "aevalsrc=0.4*sin(2*PI*(200+400*t)*t)|0.4*sin(2*PI*(900-200*t)*t):s=%d:d=%%g" % RATE

for needed in ("ffmpeg", "lame", "oggenc", "flac"):
    if not shutil.which(needed):
        print("skipped: %s is not installed" % needed)
        sys.exit(77)


def win(path):
    return "Z:" + path.replace("/", "\\")


def run(args, env=None):
    result = subprocess.run([runner, tool] + args, capture_output=True, text=True, timeout=120,
                            env=dict(os.environ, **(env or {})))
    errors = [line for line in result.stderr.splitlines() if line[:3] in ("e: ", "i: ")]
    return result.returncode, result.stdout.strip(), errors


def ffmpeg(*args):
    subprocess.run(["ffmpeg", "-v", "error", "-y"] + list(args), check=True)


def reference(path, channels, rate):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", str(channels),
                           "-ar", str(rate), "-"], capture_output=True, check=True).stdout


def samples(data):
    a = array.array("h")
    a.frombytes(data[:len(data) // 2 * 2])
    return a


def align(ours, ref, channels, spread, at, centre=0):
    """Offset d (frames) that best maps ref[at + i] onto ours[at + d + i], searched in centre +- spread."""
    window = [ref[(at + i) * channels] for i in range(0, 2048, 4)]
    best, best_d = None, 0
    for d in range(centre - spread, centre + spread + 1):
        start = at + d
        if start < 0 or (start + 2048) * channels > len(ours):
            continue
        err = 0
        for k, v in enumerate(window):
            diff = ours[(start + 4 * k) * channels] - v
            err += diff * diff
        if best is None or err < best:
            best, best_d = err, d
    return best_d


def snr(ours, ref, channels, d):
    begin = max(0, -d)
    n = min(len(ref) // channels - begin, len(ours) // channels - begin - d)
    sig = err = 0
    for i in range((begin) * channels, (begin + n) * channels):
        r = ref[i]
        e = ours[i + d * channels] - r
        sig += r * r
        err += e * e
    return 10 * math.log10(sig / err) if err else 200.0


def parse_play(out):
    m = re.match(r"play=(\d) (\d+) (\d+) (\d+) (\d+) (\d+) ([\d.]+) after=(\d+) md=(\d)", out)
    return m and dict(zip(("play", "ch", "rate", "bits", "total", "bytes", "ms", "after", "md"),
                          [int(m.group(i)) for i in range(1, 7)] + [float(m.group(7)), int(m.group(8)),
                                                                    int(m.group(9))]))


passed = failed = 0


def report(name, problems):
    global passed, failed
    print("%-4s %s%s" % ("ok" if not problems else "BAD", name, "".join("\n     " + p for p in problems)))
    passed += not problems
    failed += bool(problems)


def make_fixtures(temp, seconds):
    base = os.path.join(temp, "base.wav")
    ffmpeg("-f", "lavfi", "-i", CHIRP % seconds, "-ac", "2", "-c:a", "pcm_s16le", "-fflags", "+bitexact", base)
    f = lambda name: os.path.join(temp, name)
    subprocess.run(["flac", "-s", "-f", "-o", f("t.flac"), base], check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", base, f("t.mp3")], check=True)
    subprocess.run(["oggenc", "-Q", "-q", "4", "-o", f("t.ogg"), base], check=True)
    encodes = {
        "t.wma": ["-c:a", "wmav2", "-b:a", "128k"], "t.m4a": ["-c:a", "aac", "-b:a", "128k"],
        "t.aac": ["-c:a", "aac", "-b:a", "128k", "-f", "adts"], "t.mp2": ["-c:a", "mp2", "-b:a", "192k"],
        "t.au": ["-c:a", "pcm_s16be"], "t.aiff": ["-c:a", "pcm_s16be"], "t.ac3": ["-c:a", "ac3", "-b:a", "192k"],
    }
    for name, args in encodes.items():
        ffmpeg("-i", base, *args, f(name))
    video = ["-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=%g" % seconds, "-i", base, "-shortest"]
    ffmpeg(*video, "-c:v", "mjpeg", "-c:a", "pcm_s16le", f("video.avi"))
    ffmpeg(*video, "-c:v", "mpeg1video", "-c:a", "mp2", "-b:a", "192k", "-f", "mpeg", f("video.mpg"))
    ffmpeg(*video, "-c:v", "wmv2", "-c:a", "wmav2", "-b:a", "128k", f("video.wmv"))
    ffmpeg("-i", base, "-ar", "8000", "-ac", "1", "-c:a", "real_144", f("t.rm"))
    return base


NOT_INSTALLED = ["e: Decoding filter for the file format was not installed! (error ", "i: To install now, see "]


def check_decodes(temp):
    f = lambda name: os.path.join(temp, name)
    # file, source, codec frame in frames (0: lossless, bit for bit), lowest SNR in dB
    cases = [
        ("base.wav", "ds", 0, 0), ("t.flac", "ds", 0, 0), ("t.flac", "wm", 0, 0), ("t.aiff", "ds", 0, 0),
        ("video.avi", "ds", 0, 0), ("t.au", "ds", 0, 0), ("t.mp3", "wm", 1152, 40), ("t.mp3", "ds", 1152, 40),
        ("t.wma", "wm", 2048, 40), ("t.wma", "ds", 2048, 40), ("video.wmv", "wm", 2048, 40),
        ("t.ogg", "ds", 2048, 40), ("t.m4a", "ds", 1024, 40), ("t.aac", "ds", 1024, 40), ("t.mp2", "ds", 1152, 40),
        # liba52 applies its own dynamic range compression: the same signal, not the same samples.
        ("t.ac3", "ds", 1536, 20),
        # Wine's MPEG-1 system stream splitter offers no chain to PCM, and no plugin here decodes
        # RealAudio 1.0: these fail with the not-installed message (a decoder may appear later).
        ("video.mpg", "ds", 1152, 40), ("t.rm", "ds", 160, 20),
    ]
    full = {}
    for name, source, gran, least in cases:
        out = f("%s-%s.raw" % (name, source))
        rc, stdout, errors = run(["decode", source, win(f(name)), win(out)])
        info = parse_play(stdout)
        title = "%-9s via %s" % (name, source)
        if name in ("video.mpg", "t.rm") and rc == 1:
            ok = len(errors) == 2 and all(e.startswith(x) for e, x in zip(errors, NOT_INSTALLED))
            report("%s: no decoder here: %s" % (title, errors[0] if errors else ""), [] if ok else [repr(errors)])
            continue
        if rc or not info or not info["play"]:
            report(title, ["decode failed (rc %d): %s %s" % (rc, stdout, errors)])
            continue
        ours = open(out, "rb").read()
        ref = reference(f(name), info["ch"], info["rate"])
        problems = []
        if info["bits"] != 16 or len(ours) != info["bytes"]:
            problems.append("format %r, %d bytes in the file" % (info, len(ours)))
        ch = info["ch"]
        got, want = len(ours) // (2 * ch), len(ref) // (2 * ch)
        if name == "t.au" and ours != ref and ours[32:] == ref[:len(ours) - 32]:
            # Wine's GStreamer path hands out the 32-byte AU header as eight frames of audio.
            # Flagged, not hidden; the rest is bit-exact.
            detail = "KNOWN WINE DEFECT: the header arrives as 8 frames of audio, the data after it bit-exact"
        elif gran == 0:
            if ours != ref:
                problems.append("PCM differs from ffmpeg's (%d vs %d frames)" % (got, want))
            detail = "bit-exact, %d frames" % got
        else:
            a, b = samples(ours), samples(ref)
            d = align(a, b, ch, 2 * gran, min(RATE // 2, want // 4))
            quality = snr(a, b, ch, d)
            if abs(got - want) > 2 * gran:
                problems.append("%d frames, ffmpeg %d" % (got, want))
            if quality < least:
                problems.append("SNR %.1f dB against ffmpeg (offset %d)" % (quality, d))
            detail = "%d frames (ffmpeg %d), offset %d, SNR %.1f dB" % (got, want, d, quality)
        # Tags come from the metadata factory, which knows MP3, MPEG, Windows Media, AAC and FLAC.
        tagged = os.path.splitext(name)[1] in (".mp3", ".mp2", ".mpg", ".wma", ".wmv", ".aac", ".flac")
        if info["md"] != tagged:
            problems.append("GetMetadata gave %d" % info["md"])
        # The length the source announces comes from the container's duration.
        if abs(info["total"] - len(ours)) > 2 * max(gran, 1152) * 2 * ch:
            problems.append("announced %d bytes, delivered %d" % (info["total"], len(ours)))
        report("%s: %s" % (title, detail), problems)
        full[(name, source)] = ours
    return full


def check_start_times(temp, full):
    f = lambda name: os.path.join(temp, name)
    for name, source, gran in (("t.flac", "ds", 4096), ("t.flac", "wm", 4096), ("t.mp3", "ds", 1152),
                               ("t.mp3", "wm", 1152), ("t.ogg", "ds", 2048)):
        whole = full.get((name, source))
        if whole is None:
            continue
        out = f("start.raw")
        rc, stdout, errors = run(["decode", source, win(f(name)), win(out), "1000"])
        ours = open(out, "rb").read() if os.path.exists(out) else b""
        # Where the start-time decode lies within the whole decode.
        d = align(samples(whole), samples(ours), 2, 2 * gran, 0, RATE) if len(ours) > 16384 else None
        problems = []
        if rc or not stdout.startswith("play=1"):
            problems.append("decode failed: %s %s" % (stdout, errors))
        elif d is None or abs(d - RATE) > gran:
            problems.append("starts at frame %s of the whole decode, wanted %d +- %d" % (d, RATE, gran))
        elif gran == 4096 and ours != whole[d * 4:d * 4 + len(ours)]:
            problems.append("lossless data after the start differs")
        report("start 1000 ms %-6s via %s: frame %s" % (name, source, d), problems)


def check_reader(temp, full):
    f = lambda name: os.path.join(temp, name)
    for name, source in (("t.flac", "ds"), ("t.flac", "wm"), ("t.mp3", "ds"), ("t.wma", "wm")):
        prefix = f("reader")
        rc, stdout, errors = run(["read", source, win(f(name)), win(prefix), str(RATE)])
        problems = []
        if rc or errors:
            problems.append("reader failed: %s %s" % (stdout, errors))
        else:
            a, b, c = (open(prefix + x, "rb").read() for x in (".a", ".b", ".c"))
            # The WMA decoder leaves its first frame (2048 samples) undefined: it differs from run
            # to run, so the comparisons start after it.
            skip = 2048 * 4 if name == "t.wma" else 0
            if name == "t.wma":
                # Its decoder also carries state across the runtime's seek: the same signal to
                # 40 dB and more, not the same bits. A held sample that survived SetPosition(0)
                # would shift the data by 10 frames and ruin the ratio.
                quality = snr(samples(b[skip:]), samples(a[skip:]), 2, 0) if len(a) == len(b) else 0
                if quality < 40:
                    problems.append("after SetPosition(0): %d bytes, SNR %.1f dB against one read"
                                    % (len(b), quality))
            elif a != b:
                problems.append("split reads after SetPosition(0) differ from one read (%d vs %d bytes)"
                                % (len(b), len(a)))
            played = full.get((name, source), b"")
            if name == "t.wma":
                # The same decoder state question between the reader and Play: the same signal.
                quality = snr(samples(played[skip:]), samples(a[skip:]), 2, 0) if len(a) == len(played) else 0
                if quality < 40:
                    problems.append("reader and Play deliver different PCM (%d and %d bytes, SNR %.1f dB)"
                                    % (len(a), len(played), quality))
            elif a[skip:] != played[skip:]:
                problems.append("reader and Play deliver different PCM")
            if name == "t.flac" and c != a[RATE * 4:]:
                problems.append("SetPosition(%d) does not continue at that frame (%d bytes)" % (RATE, len(c)))
            elif abs(len(c) - (len(a) - RATE * 4)) > 2 * 2048 * 4:
                problems.append("SetPosition(%d) gave %d bytes" % (RATE, len(c)))
        report("reader %-6s via %s: %s" % (name, source, stdout), problems)


def check_failures(temp):
    f = lambda name: os.path.join(temp, name)
    with open(f("text.mp3"), "w") as t:
        t.write("This is not an MPEG audio file.\n" * 20)
    shutil.copy(f("text.mp3"), f("text.ogg"))
    with open(f("fake.ape"), "wb") as t:
        t.write(b"MAC \x96\x0f" + os.urandom(20000))
    out = win(f("o.raw"))
    cases = [  # source, file, expected lines (prefixes)
        ("ds", "missing.ogg", ["e: Source file was not found"]),
        ("wm", "missing.wma", ["e: Source file cannot be opened (error 80070002)"]),
        ("wm", "text.mp3", ["e: Source file cannot be opened (error "]),
        ("ds", "text.ogg", ["e: Decoding filter for the file format was not installed! (error ",
                            "i: To install now, see "]),
        ("ds", "fake.ape", ["e: Decoding filter for the file format was not installed! (error ",
                            "i: To install now, see "]),
    ]
    # Wine's APE parser sometimes waits for ever on the random data: then Open gives up after
    # the stall limit (shortened here), leaving the parser behind.
    stalled = ["e: DirectShow: Decoder made no progress for 3 seconds, the file may be damaged",
               "i: DirectShow: The decoder does not stop; it is left behind until the program ends"]
    for source, name, expected in cases:
        rc, stdout, errors = run(["decode", source, win(f(name)), out], {"TRELVOX_STALL_MS": "3000"})
        problems = []
        if rc != 1:
            problems.append("Open did not fail cleanly (rc %d, %s)" % (rc, stdout))
        if name == "fake.ape" and errors[:1] == stalled[:1]:
            expected = stalled[:len(errors)]
        if len(errors) != len(expected) or any(not e.startswith(x) for e, x in zip(errors, expected)):
            problems.append("lines %r" % errors)
        report("%s via %s: %s" % (name, source, " | ".join(errors)), problems)

    # A machine without the Windows Media runtime: the library loads, the source says why it fails.
    rc, stdout, errors = run(["decode", "wm", win(f("t.mp3")), out], {"TX_DLLOVERRIDES": "wmvcore=d"})
    expected = "e: Windows Media component has not been installed or is obsolete, see "
    report("without wmvcore.dll: %s" % " | ".join(errors),
           [] if rc == 1 and len(errors) == 1 and errors[0].startswith(expected) else ["rc %d %r" % (rc, errors)])

    for source, want in (("ds", 1), ("wm", 0)):
        rc, stdout, errors = run(["decode", source, win(f("t.mp3")), out, "-1", "100000"])
        info = parse_play(stdout)
        problems = []
        if not info or info["play"] != want or info["after"] != 0 or errors:
            problems.append("refusing sink: %s %s" % (stdout, errors))
        elif os.path.getsize(f("o.raw")) > 100000:
            problems.append("data written after the refusal")
        report("refusing sink via %s: Play returned %s" % (source, info and info["play"]), problems)

    rc, stdout, errors = run(["bitrate", win(f("t.wma"))])
    m = re.match(r"bitrate=(\d) (\d+) play=(\d) read=(\d+) seek=(\d) reopened=(\d)", stdout)
    problems = []
    if rc or not m:
        problems.append("bitrate tool failed: %s %s" % (stdout, errors))
    else:
        ok, bps, play, read, seek, reopened = (int(x) for x in m.groups())
        if ok and not 96000 <= bps <= 160000:
            problems.append("bit rate %d" % bps)
        if play or read or seek or not reopened:
            problems.append("after GetBitrate: %s" % stdout)
    # Wine's stream configuration does not know its bit rate (E_NOTIMPL): then GetBitrate is false.
    report("GetBitrate of t.wma: %s" % stdout, problems)


def measure(temp):
    base = os.path.join(temp, "long.wav")
    ffmpeg("-f", "lavfi", "-i", CHIRP % 120, "-ac", "2", "-c:a", "pcm_s16le", "-fflags", "+bitexact", base)
    subprocess.run(["flac", "-s", "-f", "-o", os.path.join(temp, "long.flac"), base], check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", base, os.path.join(temp, "long.mp3")], check=True)
    for name in ("long.mp3", "long.flac"):
        path = os.path.join(temp, name)
        # ffmpeg's own clock (rtime), like the tool's, leaves process start-up out.
        bench = subprocess.run(["ffmpeg", "-hide_banner", "-nostats", "-benchmark", "-threads", "1", "-i", path,
                                "-f", "null", "-"], capture_output=True, text=True, check=True).stderr
        native = float(re.search(r"rtime=([\d.]+)s", bench).group(1))
        pcm = 120 * RATE * 4 / 1e6
        line = "%-9s ffmpeg -f null %.0f MB/s" % (name, pcm / native)
        for source in ("wm", "ds"):
            rc, stdout, errors = run(["decode", source, win(path), win(os.path.join(temp, "m.raw"))])
            info = parse_play(stdout)
            opened = re.search(r"open=([\d.]+)", stdout)
            if info and opened:
                play_ms = info["ms"] - float(opened.group(1))
                line += ", %s %.1f MB/s (%.1f without Open)" % (
                    source, info["bytes"] / 1e6 / (info["ms"] / 1000), info["bytes"] / 1e6 / (play_ms / 1000))
        print(line)


with tempfile.TemporaryDirectory() as temp:
    if len(sys.argv) > 3 and sys.argv[3] == "--measure":
        measure(temp)
        sys.exit(0)
    make_fixtures(temp, 3)
    full = check_decodes(temp)
    check_start_times(temp, full)
    check_reader(temp, full)
    check_failures(temp)
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
