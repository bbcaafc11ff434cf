#!/usr/bin/env python3
"""Runs WmRuntimeTest under Wine, then checks the files it wrote with native tools: ffprobe
sees a wmav2 stream at the profile's rate and bit rate with the attributes set on the writer,
ffmpeg decodes it to the right length, and mutagen's ASF reader sees the editor's changes.

    check_wmruntime.py HARNESS_RUNNER WmRuntimeTest.exe
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "metadata"))
from native_tags import mutagen_python  # noqa: E402

MUTAGEN_DUMP = """
import json, sys
from mutagen.asf import ASF
tags = ASF(sys.argv[1]).tags
print(json.dumps({key: [str(v.value) for v in values] for key, values in tags.as_dict().items()}))
"""


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_streams", "-show_format", path],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def decoded_frames(path):
    pcm = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-"], check=True,
                         capture_output=True).stdout
    return len(pcm) // 4


def main():
    runner, program = sys.argv[1:3]
    python = mutagen_python()
    if not shutil.which("ffmpeg") or not python:
        print("skipped: ffmpeg or mutagen is missing")
        return 77
    failures = []

    def check(what, actual, expected):
        if actual != expected:
            failures.append(f"{what}: expected {expected!r}, got {actual!r}")

    keep = tempfile.mkdtemp()
    try:
        env = dict(os.environ, WMRUNTIME_KEEP="Z:" + keep.replace("/", "\\"))
        run = subprocess.run([runner, program], env=env, capture_output=True, text=True, errors="replace")
        print(run.stdout[-6000:], run.stderr[-2000:])
        if run.returncode != 0:
            print(f"WmRuntimeTest failed ({run.returncode})")
            return 1

        written = os.path.join(keep, "written.wma")
        info = probe(written)
        audio = [s for s in info["streams"] if s["codec_type"] == "audio"]
        check("audio streams", len(audio), 1)
        stream = audio[0]
        check("codec", stream["codec_name"], "wmav2")
        check("sample rate", stream["sample_rate"], "44100")
        check("channels", stream["channels"], 2)
        check("bit rate", stream.get("bit_rate"), "128000")
        tags = {k.lower(): v for k, v in info["format"].get("tags", {}).items()}
        check("title", tags.get("title"), "Written Title")
        check("album", tags.get("album"), "Written Album")
        check("track", tags.get("track"), "7")
        frames = decoded_frames(written)
        # 3 s of audio; the encoder's delay and the padded last frame add at most two frames.
        if not 3 * 44100 - 2048 <= frames <= 3 * 44100 + 2 * 2048:
            failures.append(f"decoded length: {frames} frames for 3 s at 44.1 kHz")

        edited = os.path.join(keep, "edited.wma")
        dump = subprocess.run([python, "-c", MUTAGEN_DUMP, edited], check=True, capture_output=True,
                              text=True).stdout
        asf = json.loads(dump)
        check("mutagen Title", asf.get("Title"), ["Edited été Title"])
        check("mutagen custom attribute", asf.get("Trelvox/Check"), ["kept"])
        check("mutagen album (deleted)", asf.get("WM/AlbumTitle"), None)
        check("mutagen track", asf.get("WM/TrackNumber"), ["7"])
        check("edited decodes", decoded_frames(edited), frames)
    finally:
        shutil.rmtree(keep, ignore_errors=True)
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
