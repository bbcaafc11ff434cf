#!/usr/bin/env python3
"""A tag write that runs out of disk space fails and leaves the file as it was, with nothing
else in its directory. Mounts a small tmpfs (root only; skipped otherwise), fills it with one
MP3 and asks for a new tag. Usage: tag_write_full_disk.py <TagTool.exe>; the harness
environment (TX_HARNESS_DIR, TX_WINE_LOADER, TX_WINEARCH) must be set."""
import hashlib
import os
import subprocess
import sys
import tempfile

from txcheck import check, finish, win

RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness", "run.sh")
TOOL = sys.argv[1]


def same(what, expected, actual):
    check(expected == actual, what, f"expected {expected!r}, got {actual!r}")


def write_tag(path, *frames):
    out = subprocess.run([RUN, TOOL, "write", win(path), *frames],
                         capture_output=True, check=False)
    return out.stdout.decode("utf-8", "replace").replace("\r", "").splitlines()


def mp3(size):
    """An ID3v2.3 tag with a title, then silent MPEG-1 Layer III frames up to size bytes."""
    frame = b"TIT2" + (4).to_bytes(4, "big") + b"\0\0\0Old"
    data = b"ID3\3\0\0" + bytes([0, 0, 0, len(frame)]) + frame
    audio = (b"\xff\xfb\x90" + bytes(414)) * ((size - len(data)) // 417)
    return data + audio


def run_checks(disk):
    path = os.path.join(disk, "song.mp3")
    # Room to spare: the write works on this file system.
    with open(path, "wb") as out:
        out.write(mp3(64 * 1024))
    same("write with room", ["HR=00000000"], write_tag(path, "47=New"))
    same("files after a write with room", ["song.mp3"], os.listdir(disk))

    # Nearly full: the new file cannot be built beside the old one.
    free = os.statvfs(disk).f_bavail * os.statvfs(disk).f_frsize
    with open(path, "wb") as out:
        out.write(mp3(64 * 1024 + free - 16 * 1024))
    before = hashlib.sha256(open(path, "rb").read()).hexdigest()
    lines = write_tag(path, "47=A title longer than the old one", "61=An artist")
    same("write on a full disk", ["HR=80004005", "MSG=" + win(path) + ": the new file cannot be written (error 112)"],
         lines)
    same("file after the failed write", before, hashlib.sha256(open(path, "rb").read()).hexdigest())
    same("files after the failed write", ["song.mp3"], os.listdir(disk))


def main():
    disk = tempfile.mkdtemp(prefix="txfull")
    try:
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", disk], capture_output=True)
        if mount.returncode != 0:
            print("skipped: a 2 MiB tmpfs cannot be mounted here (needs root): "
                  + (mount.stderr.decode("utf-8", "replace").splitlines() or [""])[0])
            return 77
        try:
            run_checks(disk)
        finally:
            subprocess.run(["umount", disk], check=True)
    finally:
        os.rmdir(disk)
    finish()


if __name__ == "__main__":
    sys.exit(main())
