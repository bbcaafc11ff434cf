#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into OUTDIR/<target>/: small files made here (no
binaries live in the repository), the text seeds of seeds/<target>/, and the reproducers kept
there as hex dumps (*.hex) of the inputs that once made a target fail. A cue sheet seed (*.cue)
gets the small WAV file appended that its target reads as "w.wav".

usage: make_seeds.py OUTDIR
"""
import os
import struct
import sys
import zlib

here = os.path.dirname(os.path.abspath(__file__))
out = sys.argv[1]


def chunk(cid, data):
    return cid + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def riff(form, body):
    return b"RIFF" + struct.pack("<I", 4 + len(body)) + form + body


def pcm_format(channels, rate, bits, extra=b""):
    align = channels * bits // 8
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * align, align, bits)
    return fmt + (struct.pack("<H", len(extra)) + extra if extra else b"")


def wave():
    adpcm = struct.pack("<HHIIHHH", 2, 1, 8000, 4096, 256, 4, 32) + bytes(32)
    return {
        "pcm": riff(b"WAVE", chunk(b"fmt ", pcm_format(2, 44100, 16)) + chunk(b"data", bytes(16))),
        "list-odd": riff(b"WAVE", chunk(b"LIST", b"INFOabc") + chunk(b"fmt ", pcm_format(1, 8000, 8)) +
                         chunk(b"data", b"xyz")),
        "adpcm": riff(b"WAVE", chunk(b"fmt ", adpcm) + chunk(b"fact", struct.pack("<I", 500)) +
                      chunk(b"data", bytes(512))),
        "cut-short": riff(b"WAVE", chunk(b"fmt ", pcm_format(1, 22050, 16)) + b"data" + struct.pack("<I", 1000) +
                          bytes(10)),
        "avi-first": riff(b"AVI ", chunk(b"JUNK", b"1234")) + riff(b"WAVE", chunk(b"fmt ", pcm_format(1, 8000, 16)) +
                                                                     chunk(b"data", bytes(4))),
        # The other containers whose channel count the DirectShow source checks.
        "aiff": b"FORMxxxxAIFF" + b"NAME\0\0\0\1a\0COMM\0\0\0\x12\0\x02" + bytes(16),
        "au": b".snd" + struct.pack(">5I", 24, 4, 3, 8000, 1) + bytes(4),
        "ogg": b"OggS" + bytes(22) + b"\x01\x1e\x01vorbis" + bytes(4) + b"\x02" + bytes(18),
    }


def record(number, start, length):
    msf = lambda f: (f // 4500) << 16 | (f % 4500 // 75) << 8 | f % 75
    return struct.pack("<HHIIIII", 1, number, 0x1234, start, length, msf(start + 150), msf(length))


def cda():
    return {
        "track1": riff(b"CDDA", chunk(b"fmt ", record(1, 0, 18000))),
        "two-fmt": riff(b"CDDA", chunk(b"LIST", b"odd") + chunk(b"fmt ", record(2, 18000, 300)) +
                        chunk(b"fmt ", record(3, 18300, 75))),
        "short-fmt": riff(b"CDDA", chunk(b"fmt ", record(4, 1, 2)[:20])),
    }


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3_frame(fid, body, flags=0, plain_size=False):
    size = struct.pack(">I", len(body)) if plain_size else syncsafe(len(body))
    return fid + size + bytes([0, flags]) + body


def id3_tag(frames, flags=0, extended=b""):
    body = extended + b"".join(frames)
    return b"ID3\x04\x00" + bytes([flags]) + syncsafe(len(body) + 16) + body + bytes(16)


def id3():
    title = id3_frame(b"TIT2", b"\x03Gr\xc3\xbc\xc3\x9fe\x00Zwei")
    packed = zlib.compress(b"\x00Compressed artist")
    return {
        "texts": id3_tag([title, id3_frame(b"TPE1", b"\x01\xff\xfeA\x00b\x00"), id3_frame(b"TCON", b"\x0017\x00Indie"),
                          id3_frame(b"TDRC", b"\x002004-05-06T07:08"), id3_frame(b"TRCK", b"\x003/12")]),
        "comment-url": id3_tag([id3_frame(b"COMM", b"\x00engdesc\x00text"), id3_frame(b"WXXX", b"\x00home\x00http://x.y/"),
                                id3_frame(b"TXXX", b"\x02\x00d\x00\x00\x00v"), id3_frame(b"APIC", b"\x00image/png\x00\x03d\x00\x89PNG")]),
        "flags": id3_tag([id3_frame(b"TALB", syncsafe(len(packed) + 0) + packed, flags=0x09),
                          id3_frame(b"TIT3", b"\x00\xff\x00\xfe", flags=0x02), id3_frame(b"TOPE", b"\x01\x00\x00", flags=0x40)],
                         flags=0x40, extended=syncsafe(6) + b"\x01\x00"),
        "plain-sizes": id3_tag([id3_frame(b"TIT2", b"\x00" + b"x" * 200, plain_size=True), title], flags=0x80),
    }


def cdb(opcode, *fields, length=10):
    return bytes([opcode, *fields]) + bytes(length - 1 - len(fields))


def mmc():
    def command(block, data_len, data=b""):
        return bytes([len(block) - 1]) + block + struct.pack("<H", data_len) + data
    mode_page = bytes(8) + bytes([0x2A, 0x14]) + bytes(20)
    seeds = {
        "inquiry-toc": b"vendor PLEXTOR\n\0" + command(cdb(0x12, 0, 0, 0, 96, length=6), 96) +
                       command(cdb(0x43, 2, 0, 0, 0, 0, 0, 0x10, 0), 4096) + command(cdb(0x43, 0, 5, 0, 0, 0, 0, 0x10, 0), 4096),
        "reads": b"jitter 3 7\nmedium-error 10-12 1\n\0" + command(cdb(0xBE, 0, 0, 0, 0, 0, 0, 0, 2, 0xF8, 0, 0, length=12), 2 * 2448) +
                 command(cdb(0x28, 0, 0, 0, 0, 0x2D, 0, 0, 1), 2352) + command(cdb(0xD8, 0, 0, 0, 0, 11, 0, 0, 0, 3, length=12), 3 * 2352) +
                 command(cdb(0x03, 0, 0, 0, 18, length=6), 18),
        "mode": b"no-page 2A\nrefuse D4\n\0" + command(cdb(0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0xFF), 255) +
                command(cdb(0x55, 0x10, 0, 0, 0, 0, 0, 0, 30), 30, mode_page) + command(cdb(0xBB, 0, 0, 0xB0), 0) +
                command(cdb(0x15, 0x10, 0, 0, 12, length=6), 12, bytes([0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 9, 0x30])),
    }
    # A blank CD-R (the target gives one to inputs whose size has bit 1 set): write
    # parameters, a cue sheet of one 2-frame track, a WRITE of the pregap's first frame, the
    # disc information and an early SYNCHRONIZE CACHE.
    page05 = bytes(8) + bytes([0x05, 0x32, 0x42]) + bytes(49)
    cue = bytes([1, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 2, 0, 1, 0xAA, 1, 1, 0, 0, 2, 2])
    seeds["burn"] = (b"underrun 1\nwrite-error 1\n\0" + command(cdb(0x55, 0x10, 0, 0, 0, 0, 0, 0, len(page05)), len(page05), page05) +
                     command(cdb(0x5D, 0, 0, 0, 0, 0, 0, 0, len(cue)), len(cue), cue) +
                     command(cdb(0x2A, 0, 0xFF, 0xFF, 0xFF, 0x6A, 0, 0, 1), 2352, bytes(2352)) +
                     command(cdb(0x51, 0, 0, 0, 0, 0, 0, 0, 34), 34) + command(cdb(0x35, 0, 0, 0, 0, 0, 0, 0, 0), 0))
    if not len(seeds["burn"]) & 2:
        seeds["burn"] = b" " + seeds["burn"]
    return seeds


def utf16_seeds():
    def seed(lower, upper, text, description):
        return struct.pack("<II", lower, upper) + text.encode("utf-16-le") + b"\0\0" + description.encode("utf-16-le")
    return {"year": seed(1000, 2100, "1999", "desc"), "part": seed(1, 99, "3/12", ""),
            "genre": seed(0, 0, "(17)(RX)Indie((Odd)", "x"), "date": seed(0, 0, "2412", "Fur \u00c4pfel")}


def asf():
    def guid(text):
        d1, d2, d3, d4 = text[:8], text[9:13], text[14:18], text[19:23] + text[24:]
        return struct.pack("<IHH", int(d1, 16), int(d2, 16), int(d3, 16)) + bytes.fromhex(d4)

    def obj(gid, body):
        return guid(gid) + struct.pack("<Q", 24 + len(body)) + body

    def header(objects, rest=b""):
        body = b"".join(objects)
        return obj("75B22630-668E-11CF-A6D9-00AA0062CE6C", struct.pack("<IBB", len(objects), 1, 2) + body) + rest

    def utf16(text):
        return (text + "\0").encode("utf-16-le")

    props = obj("8CABDCA1-A947-11CF-8EE4-00C00C205365",
                bytes(16) + struct.pack("<QQQQQQIIII", 5000, 0, 10, 31000000, 31000000, 3100, 2, 3200, 3200, 128000))
    strings = [utf16("Title"), utf16("Author"), b"", b"", b""]
    cd = obj("75B22633-668E-11CF-A6D9-00AA0062CE6C",
             b"".join(struct.pack("<H", len(s)) for s in strings) + b"".join(strings))
    entries = [(utf16("WM/AlbumTitle"), 0, utf16("Album")), (utf16("WM/TrackNumber"), 3, struct.pack("<I", 7)),
               (utf16("WM/IsVBR"), 2, struct.pack("<H", 1)), (utf16("Bin"), 1, b"\1\2\3")]
    ecd = obj("D2D0A440-E307-11D2-97F0-00A0C95EA850", struct.pack("<H", len(entries)) + b"".join(
        struct.pack("<H", len(n)) + n + struct.pack("<HH", t, len(v)) + v for n, t, v in entries))
    return {
        "plain": header([props], b"data"),
        "tagged": header([props, cd, ecd], bytes(64)),
        "no-properties": header([cd]),
        "cut": header([props, cd, ecd])[:-9],
    }


def write(target, files):
    d = os.path.join(out, target)
    os.makedirs(d, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)


write("wave_layout", wave())
write("cda_record", cda())
write("id3v24_tag", id3())
write("mmc_device", mmc())
write("frame_texts", utf16_seeds())
write("asf_header", asf())
seeds = os.path.join(here, "seeds")
for target in os.listdir(seeds):
    files = {}
    for name in os.listdir(os.path.join(seeds, target)):
        with open(os.path.join(seeds, target, name), "rb") as f:
            data = f.read()
        if name.endswith(".hex"):
            data = bytes.fromhex(data.decode())
        elif name.endswith(".cue"):
            # The target reads the cue sheet, then the "w.wav" it may name.
            frames = 4 * 2352
            data += b"\0" + riff(b"WAVE", chunk(b"fmt ", pcm_format(2, 44100, 16)) + chunk(b"data", bytes(frames)))
        files[name] = data
    write(target, files)
