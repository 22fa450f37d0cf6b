"""Adds tags to an MP3 file for the decoder's tag tests, and reads back what a WAV file carries, with
readers of its own: mutagen for the "id3 " chunk, ffprobe for the LIST/INFO chunk.

  tagtool.py make <kind> <source.mp3> <target.mp3> <picture>
  tagtool.py read <file.wav> <source.mp3> <picture-out>
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

from mutagen.apev2 import BINARY, APEv2, APEValue
from mutagen import MutagenError
from mutagen.id3 import APIC, COMM, ID3, PRIV, TALB, TCON, TDRC, TIT2, TPE1, TRCK, TYER, delete
import mutagen.wave


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v1_only(target):
    tags = ID3()
    tags.add(TIT2(encoding=0, text="Old title"))
    tags.add(TPE1(encoding=0, text="Old artist"))
    tags.add(TALB(encoding=0, text="Old album"))
    tags.add(TRCK(encoding=0, text="7"))
    tags.add(TDRC(encoding=0, text="1999"))
    tags.save(target, v1=2)
    delete(target, delete_v1=False, delete_v2=True)


def rendered(tags, version):
    """The bytes of an ID3v2 tag as mutagen writes it, without padding."""
    with tempfile.TemporaryDirectory() as folder:
        scratch = os.path.join(folder, "tag")
        open(scratch, "wb").close()
        tags.save(scratch, v2_version=version, padding=lambda info: 0)
        return open(scratch, "rb").read()


def with_extended_header(tag):
    """The tag with an extended header: a CRC of the frames in 2.3, the plain form in 2.4."""
    body = tag[10:]
    if tag[3] == 3:
        extended = struct.pack(">IHII", 10, 0x8000, 0, zlib.crc32(body))
    else:
        extended = syncsafe(6) + b"\x01\x00"
    return tag[:5] + bytes([tag[5] | 0x40]) + syncsafe(len(extended) + len(body)) + extended + body


def prepend(target, tag):
    data = open(target, "rb").read()
    open(target, "wb").write(tag + data)


def text_frames(title):
    tags = ID3()
    tags.add(TIT2(encoding=1, text=title))
    tags.add(TPE1(encoding=0, text="Artist"))
    tags.add(TRCK(encoding=0, text="4"))
    # Bytes that unsynchronisation would change, in a tag that is not unsynchronised.
    tags.add(PRIV(owner="test", data=b"\xff\x00" * 8))
    return tags


def id3v1_block(title, album):
    """A raw ID3v1.1 tag: its text fields padded with NUL bytes, track 9, year 1988, genre 17 (Rock)."""
    def field(text, size):
        return text.encode("latin-1").ljust(size, b"\x00")
    return (b"TAG" + field(title, 30) + field("V1 artist", 30) + field(album, 30) + b"1988" +
            field("", 28) + b"\x00\x09\x11")


def make(kind, source, target, picture):
    shutil.copyfile(source, target)
    tags = ID3()
    if kind == "v23":
        tags.add(TIT2(encoding=1, text="Title"))
        tags.add(TPE1(encoding=0, text="Artist"))
        tags.add(TALB(encoding=0, text="Album"))
        tags.add(TRCK(encoding=0, text="3/12"))
        tags.add(TYER(encoding=0, text="2024"))
        tags.add(TCON(encoding=0, text="Rock"))
        tags.add(COMM(encoding=0, lang="eng", desc="", text="Comment"))
        tags.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=open(picture, "rb").read()))
        tags.save(target, v2_version=3)
    elif kind == "v24":
        tags.add(TIT2(encoding=3, text="Grüße – 日本の歌"))
        tags.add(TPE1(encoding=3, text="Ærtist"))
        tags.add(TALB(encoding=3, text="Albüm"))
        tags.add(TRCK(encoding=3, text="1"))
        tags.save(target, v2_version=4)
    elif kind == "v22":
        frames = b""
        for frame_id, text in ((b"TT2", b"Old form"), (b"TP1", b"Artist"), (b"TOA", b"First artist"),
                               (b"TXT", b"Lyricist"), (b"TYE", b"1987"), (b"TDA", b"1705")):
            body = b"\x00" + text
            frames += frame_id + struct.pack(">I", len(body))[1:] + body
        data = open(source, "rb").read()
        open(target, "wb").write(b"ID3\x02\x00\x00" + syncsafe(len(frames)) + frames + data)
    elif kind in ("v23ext", "v24ext"):
        prepend(target, with_extended_header(rendered(text_frames("Extended"), int(kind[2]))))
    elif kind == "stacked":
        prepend(target, rendered(text_frames("First"), 3) + rendered(text_frames("Second"), 4))
    elif kind == "overrun":
        # The last frame's size claims 100 bytes more than the tag holds.
        tag = bytearray(rendered(text_frames("Overrun"), 3))
        last = tag.rfind(b"TRCK")
        tag[last + 4:last + 8] = struct.pack(">I", struct.unpack(">I", tag[last + 4:last + 8])[0] + 100)
        prepend(target, bytes(tag))
    elif kind == "v1":
        id3v1_only(target)
    elif kind == "v1blank":
        # Fields of blanks, as some writers leave them; the genre byte is a blank too (32, Classical).
        open(target, "ab").write(b"TAG" + b" " * 125)
    elif kind == "none":
        pass
    elif kind == "ape":
        ape = APEv2()
        ape["Title"] = "Ape title"
        ape["Artist"] = "Ape artist"
        ape["Track"] = "5"
        ape["Cover Art (Front)"] = APEValue(b"cover.jpg\x00" + open(picture, "rb").read(), BINARY)
        ape.save(target)
    elif kind == "damaged":
        # An ID3v2 header whose body holds no frame, in front of a file with an ID3v1 tag.
        id3v1_only(target)
        body = b"\x01\x02\x03\x04" * 64
        data = open(target, "rb").read()
        open(target, "wb").write(b"ID3\x03\x00\x00" + syncsafe(len(body)) + body + data)
    elif kind == "v23v1":
        # Both tags, with other values: the ID3v2 tag's come first, the ID3v1 tag fills the gaps.
        tags.add(TIT2(encoding=0, text="V2 title"))
        tags.add(TPE1(encoding=0, text="V2 artist"))
        tags.save(target, v1=0, v2_version=3)
        open(target, "ab").write(id3v1_block("V1 title", "V1 album"))
    elif kind == "apev1":
        # APEv2 in front of ID3v1, as players write them: the APEv2 values come first.
        ape = APEv2()
        ape["Title"] = "Ape title"
        ape["Track"] = "5"
        ape.save(target)
        open(target, "ab").write(id3v1_block("V1 title", "V1 album"))
    elif kind == "apedamaged":
        # The footer counts one item more than the tag holds.
        ape = APEv2()
        ape["Title"] = "Ape title"
        ape.save(target)
        data = bytearray(open(target, "rb").read())
        footer = data.rfind(b"APETAGEX")
        data[footer + 16] += 1
        open(target, "wb").write(bytes(data))
    elif kind == "junkv23":
        # Bytes in front of the ID3v2 tag: it is not the file's start, so it is written anew.
        tags.add(TIT2(encoding=0, text="After junk"))
        tags.save(target, v1=0, v2_version=3)
        data = open(target, "rb").read()
        open(target, "wb").write(b"\x00" * 300 + data)
    elif kind == "oversize":
        tags.add(TIT2(encoding=3, text="Big"))
        tags.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=bytes(range(256)) * (68 << 10)))
        tags.save(target, v2_version=4)
    else:
        raise SystemExit("unknown kind " + kind)


def chunks(data):
    at = 12
    while at + 8 <= len(data):
        size = struct.unpack("<I", data[at + 4:at + 8])[0]
        yield at, data[at:at + 4], size
        at += 8 + size + (size & 1)


def fields(tags):
    return sorted((key, repr(tags[key])) for key in tags.keys())


def read(wav, source, picture_out):
    lines = []
    tags = mutagen.wave.WAVE(wav).tags
    if tags is None:
        lines.append("id3 none")
    else:
        data = open(wav, "rb").read()
        chunk = [data[at + 8:at + 8 + size] for at, cid, size in chunks(data) if cid == b"id3 "][0]
        # The chunk may run on past the tag with zeros.
        tag = chunk[:10 + (chunk[6] << 21 | chunk[7] << 14 | chunk[8] << 7 | chunk[9])]
        kept = open(source, "rb").read().startswith(tag) and not chunk[len(tag):].strip(b"\0")
        try:
            same = fields(ID3(source)) == fields(tags)
        except MutagenError:
            same = False
        lines.append("id3 2.%d%s%s" % (tags.version[1], ", the source's bytes" if kept else "",
                                        ", the source's fields" if same else ""))
        for key in sorted(tags.keys()):
            frame = tags[key]
            if frame.FrameID == "APIC":
                open(picture_out, "wb").write(frame.data)
                lines.append("APIC %s type %d" % (frame.mime, frame.type))
            elif hasattr(frame, "text"):
                lines.append("%s=%s" % (frame.FrameID, "/".join(str(t) for t in frame.text)))
    # Each INFO value is text ended by one NUL.
    data = open(wav, "rb").read()
    for at, cid, size in chunks(data):
        if cid == b"LIST" and data[at + 8:at + 12] == b"INFO":
            info = data[at + 12:at + 8 + size]
            while len(info) >= 8:
                length = struct.unpack("<I", info[4:8])[0]
                value = info[8:8 + length]
                if not value.endswith(b"\x00") or b"\x00" in value[:-1]:
                    lines.append("INFO %s is no NUL-ended text: %r" % (info[:4].decode("latin-1"), value))
                info = info[8 + length + (length & 1):]
    # ffprobe reads both chunks: hide the id3 chunk, so what it shows comes from LIST/INFO.
    data = bytearray(data)
    for at, cid, size in chunks(data):
        if cid == b"id3 ":
            data[at:at + 4] = b"JUNK"
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "info.wav")
        open(copy, "wb").write(data)
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_format", "-of", "json", copy],
                               check=True, capture_output=True, text=True)
    info = json.loads(probe.stdout)["format"].get("tags", {})
    lines += ["info %s=%s" % (key, info[key]) for key in sorted(info)]
    print("\n".join(lines))


if sys.argv[1] == "make":
    make(*sys.argv[2:6])
else:
    read(*sys.argv[2:5])
