#!/usr/bin/env python3
"""Differential check of utils.exe on damaged streams.

Makes a few clean streams (sox and ffmpeg, plus streams rebuilt from the stored MPEG-2 file),
derives seeded damaged variants of each (kinds x positions), decodes every variant with 1, 2 and 3
threads in small pieces and once unsplit, and checks:
  threads  every run gives the same exit code and the same bytes;
  exit     the exit code is one the kind allows (a rate change is 3; junk passed over is 8);
  prefix   the audio before the damage equals the clean decode's;
  length   exit 0: within one frame of the clean decode; exit 8: no more lost than the kind costs;
  warning  exit 8 names the damaged bytes on a `warning:` line;
  mpg123   a clean stream decodes to the PCM `mpg123 -w` writes.
Prints per kind: files, passing, failing, failures by check; exits 1 when any fails.
usage: damage_check.py UTILS_EXE [--seed N] [--rounds N] [--keep DIR]
"""
import argparse, concurrent.futures, os, random, re, struct, subprocess, sys, tempfile
from collections import Counter, defaultdict

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures")
PIECES = "24"  # frames per piece, so streams of a few seconds are cut into many
UNSPLIT = "100000000"
RATES = {3: (44100, 48000, 32000), 2: (22050, 24000, 16000), 0: (11025, 12000, 8000)}
KBPS = {(3, 1): (0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448),
        (3, 2): (0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384),
        (3, 3): (0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320),
        (2, 1): (0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256),
        (2, 2): (0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160)}


def Header(data, at):
    """(version, layer, rate index, frame length or 0 for free format, samples) of a header."""
    if at + 4 > len(data) or data[at] != 0xFF or data[at + 1] & 0xE0 != 0xE0:
        return None
    version, layer = (data[at + 1] >> 3) & 3, 4 - ((data[at + 1] >> 1) & 3)
    bitrate, rate, pad = data[at + 2] >> 4, (data[at + 2] >> 2) & 3, (data[at + 2] >> 1) & 1
    if version == 1 or layer == 4 or bitrate == 15 or rate == 3:
        return None
    kbps = KBPS[(3 if version == 3 else 2, layer if version == 3 or layer == 1 else 2)][bitrate]
    hz = RATES[version][rate]
    samples = 384 if layer == 1 else 576 if layer == 3 and version != 3 else 1152
    size = (12 * kbps * 1000 // hz + pad) * 4 if layer == 1 else samples // 8 * kbps * 1000 // hz + pad
    return version, layer, rate, size if kbps else 0, samples


def Frames(data, size=0):
    """[(offset, length)] of the stream's frames from byte 0; `size` for a free-format stream."""
    frames, at = [], 0
    while (h := Header(data, at)) and at + (h[3] or size) <= len(data):
        frames.append((at, h[3] or size))
        at += h[3] or size
    assert at == len(data), "a clean stream holds only frames"
    return frames


def Crc16(data):
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def Repeated(info_frame, audio, times, keep_info):
    """A longer MPEG-2 Layer III stream: its frames `times` over (the first frame of an encoded
    stream takes nothing from the reservoir, so each copy decodes on its own), the Info frame's
    counts, table of contents and check sum made to match."""
    body = audio * times
    if not keep_info:
        return body
    head = bytearray(info_frame)
    xing = head.find(b"Xing")
    frames = Frames(info_frame + body)[1:]
    total = len(head) + len(body)
    struct.pack_into(">II", head, xing + 8, len(frames), total)
    for i in range(100):
        head[xing + 16 + i] = min(255, frames[len(frames) * i // 100][0] * 256 // total)
    lame = head.find(b"LAME")
    struct.pack_into(">I", head, lame + 28, total)
    struct.pack_into(">H", head, lame + 34, Crc16(head[: lame + 34]))
    return bytes(head) + body


def Run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdin=subprocess.DEVNULL, capture_output=True, **kw)


def MakeCleanStreams(work):
    """{name: (bytes, frames, has Info frame)}."""
    def Encode(rate, name, *options):
        src = os.path.join(work, "src%d.wav" % rate)
        if not os.path.exists(src):
            Run(["sox", "-R", "-n", "-r", str(rate), "-c", "2", src, "synth", "7", "sine", "440", "pinknoise",
                 "tremolo", "4", "80", "vol", "0.6"])
        out = os.path.join(work, name + ".mp3")
        Run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-fflags", "+bitexact", "-i", src,
             "-flags:a", "+bitexact", "-id3v2_version", "0", *options, out])
        return open(out, "rb").read()

    streams = {}
    for name, data, info in (
        ("l3-44k-info", Encode(44100, "a", "-c:a", "libshine", "-b:a", "128k"), True),
        ("l3-44k-bare", Encode(44100, "b", "-c:a", "libshine", "-b:a", "96k", "-write_xing", "0"), False),
        ("l2-44k", Encode(44100, "c", "-c:a", "mp2", "-b:a", "192k", "-f", "mp2"), False),
        ("l2-22k-mpeg2", Encode(22050, "d", "-c:a", "libtwolame", "-b:a", "96k", "-f", "mp2"), False),
    ):
        streams[name] = (data, Frames(data), info)
    stored = open(os.path.join(FIXTURES, "mpeg2_22k.mp3"), "rb").read()
    first = Frames(stored)[1][0]
    for name, info in (("l3-22k-mpeg2-info", True), ("l3-22k-mpeg2-bare", False)):
        data = Repeated(stored[:first], stored[first:], 6, info)
        streams[name] = (data, Frames(data), info)
    # Free format: a Layer II stream whose frames all have one length (48 kHz, no padding), its
    # bit rate index set to 0.
    data = bytearray(Encode(48000, "e", "-c:a", "mp2", "-b:a", "192k", "-f", "mp2"))
    frames = Frames(bytes(data))
    for at, _ in frames:
        data[at + 2] &= 0x0F
    streams["l2-48k-free"] = (bytes(data), frames, False)
    return streams


def Id3v2(body, version=4):
    size = len(body)
    return b"ID3" + bytes([version, 0, 0]) + bytes((size >> s) & 0x7F for s in (21, 14, 7, 0)) + body


def EndTag(rng):
    v1 = b"TAG" + b"Cut short".ljust(30, b"\0") + bytes(95)
    choice = rng.randrange(3)
    if choice == 0:
        return "id3v1", v1
    if choice == 1:
        item = struct.pack("<II", 5, 0) + b"Title\0" + b"Short"
        return "ape+id3v1", item + b"APETAGEX" + struct.pack("<IIII8x", 2000, len(item) + 32, 1, 0) + v1
    body = b"LYRICSBEGIN" + b"IND00002" + b"10" + b"LYR00005lyric"
    return "lyrics3+id3v1", body + b"%06dLYRICS200" % len(body) + v1


# A damaged variant of a clean stream: its bytes, a description, the offset of the damage, the span
# a warning should name, and the fewest and most samples an exit 8 (or, for a cut, any exit) may
# give, relative to the clean decode. KINDS holds the exit codes each kind allows.
def Variant(kind, data, frames, info, spf, rng):
    audio = frames[1:] if info else frames
    n = len(audio)
    k = rng.randrange(2, n - 2)
    at = audio[k][0] + (rng.randrange(audio[k][1]) if rng.random() < 0.5 else 0)
    size = int(10 ** rng.uniform(2.48, 5))  # 300 B to 100 kB
    if kind == "clean":
        return data, "whole", len(data), None, (0, 0)
    if kind == "junk-insert":
        return (data[:at] + rng.randbytes(size) + data[at:], "%d B at %d" % (size, at), at,
                (at, at + size), (-2 * spf, spf))
    if kind == "junk-after-first":
        at, size = audio[0][0] + audio[0][1], rng.randrange(300, 3000)
        return (data[:at] + rng.randbytes(size) + data[at:], "%d B at %d" % (size, at), at,
                (at, at + size), (-2 * spf, spf))
    if kind in ("junk-overwrite", "zeros"):
        size = min(size, (len(data) - at) // 2)
        junk = rng.randbytes(size) if kind == "junk-overwrite" else bytes(size)
        lost = sum(1 for a, length in audio if a < at + size and a + length > at)
        # Bytes inside one frame, its header whole, are damage no stream without check sums shows.
        hidden = not any(at < a + 4 and a < at + size for a, _ in audio)
        return (data[:at] + junk + data[at + size:], "%d B at %d%s" % (size, at, ", inside a frame" * hidden), at,
                (at, at + size), (-(lost + 2) * spf, spf))
    if kind == "cut-tag":
        last = audio[-1]
        cut = rng.randrange(20, min(100, last[1] - 4))
        name, tag = EndTag(rng)
        return data[: len(data) - cut] + tag, "%d B cut, %s" % (cut, name), last[0], None, (-2 * spf, 0)
    if kind == "tag-covers":
        at = 0 if rng.random() < 0.4 else audio[k][0]
        covers = sum(length for _, length in audio[k : k + rng.randrange(1, 11)])
        return (data[:at] + Id3v2(bytes(covers), 3)[:10] + data[at:], "covers %d B at %d" % (covers, at),
                at, (at, at + covers), (-12 * spf, spf))
    if kind == "tag-framelike":
        at = 0 if rng.random() < 0.4 else audio[k][0]
        copies = b"".join(data[a : a + length] for a, length in audio[k : k + 4])
        body = b"wavesmith\0" + copies
        frame = b"PRIV" + Id3v2(body)[6:10] + b"\0\0" + body
        return data[:at] + Id3v2(frame) + data[at:], "%d B tag at %d" % (len(frame) + 10, at), at, None, (-spf, spf)
    if kind == "rate-change":
        k = rng.randrange(n // 2, n)
        damaged = bytearray(data)
        rate = (data[audio[0][0] + 2] >> 2) & 3
        new = rng.choice([r for r in range(3) if r != rate])
        for a, _ in audio[k:]:
            damaged[a + 2] = (damaged[a + 2] & 0xF3) | new << 2
        return bytes(damaged), "from frame %d of %d" % (k, n), audio[k][0], None, None
    if kind == "trailing-other-rate":
        head = bytearray(data[audio[0][0] : audio[0][0] + 4])
        head[2] = (head[2] & 0xF3) | (((head[2] >> 2) & 3) + 1) % 3 << 2
        return data + bytes(head) + rng.randbytes(size % 5000), "after the last frame", len(data), None, (-spf, spf)
    raise ValueError(kind)


KINDS = {"clean": {0}, "junk-insert": {8}, "junk-after-first": {8}, "junk-overwrite": {8}, "zeros": {8},
         "cut-tag": {3, 8}, "tag-covers": {0, 3, 8}, "tag-framelike": {0, 8}, "rate-change": {3},
         "trailing-other-rate": {0, 3, 8}}


def Pcm(path):
    """(channels, PCM bytes of the data chunk) of a WAV file, or None."""
    try:
        data = open(path, "rb").read()
    except OSError:
        return None
    at, channels = 12, 0
    while at + 8 <= len(data):
        cid, size = data[at : at + 4], struct.unpack_from("<I", data, at + 4)[0]
        if cid == b"fmt ":
            channels = struct.unpack_from("<H", data, at + 10)[0]
        if cid == b"data":
            return channels, data[at + 8 : at + 8 + size]
        at += 8 + size + (size & 1)
    return None


def Decode(utils, mp3, wav, threads, pieces):
    env = dict(os.environ, UTILS_MIN_CHUNK_FRAMES=pieces)
    done = subprocess.run([utils, "--overwrite", "--threads", str(threads), "--decode", mp3, wav],
                          env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    wav_bytes = open(wav, "rb").read() if os.path.exists(wav) else b""
    return done.returncode, wav_bytes, done.stderr.decode("utf-8", "replace")


def Check(utils, work, case, clean):
    """The names of the checks a variant fails."""
    mp3 = os.path.join(work, case["name"] + ".mp3")
    open(mp3, "wb").write(case["data"])
    wav = os.path.join(work, case["name"] + ".%s.wav")
    runs = [Decode(utils, mp3, wav % t, t, PIECES) for t in (1, 2, 3)] + [Decode(utils, mp3, wav % "whole", 1, UNSPLIT)]
    failed = set()
    if any(r[:2] != runs[-1][:2] for r in runs):
        failed.add("threads")
    code, _, stderr = runs[-1]
    if code not in KINDS[case["kind"]] | ({0} if case["what"].endswith("inside a frame") else set()):
        failed.add("exit")
    got, (channels, ref), spf = Pcm(wav % "whole"), clean, case["spf"]
    if code not in (0, 3, 8):
        return failed
    if got is None:
        return failed | {"prefix"}
    # The frames before the damaged one decode as they do in the clean stream; a gapless decode
    # drops up to about two frames of delay from the start.
    before = max(0, (case["frame"] - 3) * spf) * 2 * channels
    if got[1][:before] != ref[:before]:
        failed.add("prefix")
    change, lengths = (len(got[1]) - len(ref)) // (2 * channels), case["lengths"]
    if code == 0 and abs(change) > spf:
        failed.add("length")
    elif (code == 8 or case["kind"] == "cut-tag") and lengths and not lengths[0] <= change <= lengths[1]:
        failed.add("length")
    if code == 8 and case["span"]:
        low, high = case["span"]
        named = [int(x) for line in stderr.splitlines() if line.startswith("warning:")
                 for x in re.findall(r"\d+", line.replace(",", ""))]
        if not any(low - 4096 <= x <= high + 4096 for x in named):
            failed.add("warning")
    return failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("utils")
    parser.add_argument("--seed", type=int, default=35)
    parser.add_argument("--rounds", type=int, default=2, help="variants per kind and clean stream")
    parser.add_argument("--keep", help="a folder to keep the failing variants in")
    args = parser.parse_args()
    args.utils = os.path.abspath(args.utils)
    rng = random.Random(args.seed)
    with tempfile.TemporaryDirectory() as work:
        cases, refs, unlike_mpg123 = [], {}, set()
        for stream, (data, frames, info) in MakeCleanStreams(work).items():
            spf = Header(data, frames[-1][0])[4]
            path, whole = os.path.join(work, stream + ".mp3"), os.path.join(work, stream + ".ref.wav")
            open(path, "wb").write(data)
            Decode(args.utils, path, whole, 1, UNSPLIT)
            Run(["mpg123", "-q", "-w", path + ".wav", path])
            refs[stream] = Pcm(whole) or (2, b"")
            if Pcm(path + ".wav") != Pcm(whole):
                unlike_mpg123.add(stream)
            for kind in KINDS:
                for r in range(args.rounds if kind != "clean" else 1):
                    damaged, what, at, span, lengths = Variant(kind, data, frames, info, spf, rng)
                    frame = sum(1 for a, _ in frames[1 if info else 0 :] if a < at)
                    cases.append(dict(name="%s.%s.%d" % (stream, kind, r), stream=stream, kind=kind, what=what,
                                      data=damaged, frame=frame, span=span, lengths=lengths, spf=spf))
        results = defaultdict(list)
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            checks = {pool.submit(Check, args.utils, work, c, refs[c["stream"]]): c for c in cases}
            for future in concurrent.futures.as_completed(checks):
                case, failed = checks[future], future.result()
                if case["kind"] == "clean" and case["stream"] in unlike_mpg123:
                    failed.add("mpg123")
                results[case["kind"]].append((case["name"], case["what"], failed))
                if failed and args.keep:
                    os.makedirs(args.keep, exist_ok=True)
                    open(os.path.join(args.keep, case["name"] + ".mp3"), "wb").write(case["data"])
    total_failed = 0
    print("%-20s %5s %5s %5s  failures by check" % ("kind", "files", "pass", "fail"))
    for kind in KINDS:
        rows = results[kind]
        bad = [r for r in rows if r[2]]
        by = Counter(c for r in bad for c in r[2])
        total_failed += len(bad)
        print("%-20s %5d %5d %5d  %s" % (kind, len(rows), len(rows) - len(bad), len(bad),
                                          " ".join("%s:%d" % i for i in sorted(by.items()))))
    for kind in KINDS:
        for name, what, failed in sorted(results[kind]):
            if failed:
                print("FAIL %s (%s): %s" % (name, what, ", ".join(sorted(failed))))
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main())
