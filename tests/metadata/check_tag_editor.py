#!/usr/bin/env python3
"""The tag editor list view on real MP3 files: three files made by lame and tagged by id3v2,
sharing an album and differing in title, are edited and saved through the view (MetadataLVTest
with TX_LV_DIR); then mutagen and id3v2 read the new title from all three, the album is kept,
and the decoded audio is bit for bit what it was.

usage: check_tag_editor.py <MetadataLVTest.exe>; the harness environment must be set."""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

from txcheck import check, finish, win

RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness", "run.sh")


def pcm_md5(path):
    pcm = subprocess.run(["ffmpeg", "-v", "quiet", "-i", path, "-f", "s16le", "-"], check=True,
                         capture_output=True).stdout
    return hashlib.md5(pcm).hexdigest()


def main():
    for tool in ("lame", "sox", "id3v2", "ffmpeg", "mutagen-inspect"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is not installed")
            return 77
    tmp = tempfile.mkdtemp()
    try:
        files = [os.path.join(tmp, name) for name in ("a.mp3", "b.mp3", "c.mp3")]
        for i, path in enumerate(files):
            wav = path + ".wav"
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1.5", "sine",
                            str(330 + 110 * i)], check=True)
            subprocess.run(["lame", "--quiet", "-b", "128", wav, path], check=True)
            subprocess.run(["id3v2", "-A", "Same Album", "-t", "Title " + "ABC"[i], "-a", "Artist", path],
                           check=True)
        before = [pcm_md5(path) for path in files]

        env = dict(os.environ, TX_LV_DIR=win(tmp))
        out = subprocess.run([RUN, sys.argv[1], "--gtest_filter=MetadataLV.EditAndSaveWriteEveryFile"], env=env,
                             capture_output=True, text=True)
        written = re.search(r"title written: (.*)", out.stdout)
        if not check(out.returncode == 0 and written, "the view edits and saves the three files", out.stdout):
            return
        title = written.group(1).strip()
        print("     title written through the view: " + title)
        for path, md5 in zip(files, before):
            name = os.path.basename(path)
            inspected = subprocess.run(["mutagen-inspect", path], capture_output=True, text=True).stdout
            check("TIT2=" + title in inspected and "TALB=Same Album" in inspected,
                  f"{name}: mutagen reads the new title and the album", inspected)
            listed = subprocess.run(["id3v2", "-l", path], capture_output=True, text=True).stdout
            check(f"): {title}" in listed and "TPE1" in listed, f"{name}: id3v2 -l reads the new title", listed)
            check(pcm_md5(path) == md5, f"{name}: the decoded audio is unchanged")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    code = main()
    if code:
        sys.exit(code)
    finish()
