#!/usr/bin/env python3
"""Authors a small PAL DVD-Video folder OUTDIR/VIDEO_TS whose one title holds a seamless angle
block of two angles.

usage: make-angle-disc.py OUTDIR

The title (title set 1, 14 s, chapters at 0, 4 and 10 s) plays
  cell 1      0-4 s   "INTRO"   (testsrc, 440 Hz)
  cells 2, 3  4-10 s  the angle block: "ANGLE 1" (testsrc2, 550 Hz) or "ANGLE 2" (smptebars,
              660 Hz), of the same length and picture groups
  cell 4      10-14 s "OUTRO"   (rgbtestsrc, 770 Hz)
with its timestamps running on through the cells whichever angle plays. Every picture carries
a label ("ANGLE 2 00:00:05.12") and a code strip along its bottom edge (y 536-567), 18 boxes of
40 pixels, white for 1: boxes 0-12 the picture's number within the title (bit 0 first), box 13
always white, boxes 14-16 the angle (0 outside the block).

dvdauthor cannot author angles: it authors the four pieces as four cells one after the other,
and this script then rewrites the picture file and the control files so that cells 2 and 3
form an interleaved angle block, as a disc's authoring system lays one out: the two cells'
VOBUs are regrouped into interleaved units (ILVUs) of ILVU_VOBUS VOBUs, alternating angle 1,
angle 2, angle 1 ...; every navigation pack's own address, its VOBU search pointers, and (in
the block) its ILVU fields and seamless angle destinations are set for the new layout; the cell
playback entries get the block flags (first/last cell of an angle block, seamless angle,
interleaved) and their sectors, the cell address table (a piece for each interleaved unit), the
VOBU address map and the time map follow, the program chain's time counts one angle, and the
title's angle count becomes 2.
Skips the work when OUTDIR already holds the disc. Exits non-zero, with a message, on failure.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SECTOR = 2048
ILVU_VOBUS = 2
PIECES = [  # name, source, seconds, start, angle, tone
    ("intro", "testsrc", 4, 0, 0, 440),
    ("angle1", "testsrc2", 6, 4, 1, 550),
    ("angle2", "smptebars", 6, 4, 2, 660),
    ("outro", "rgbtestsrc", 4, 10, 0, 770),
]
LAYOUT = "angle-disc 2"
NONE = 0x3FFFFFFF  # a VOBU search pointer to nothing (beyond the cell)
PCI = 0x2D  # the presentation packet's data in a navigation pack
DSI = 0x407  # the search packet's data
SML_PBI, SML_AGLI, VOBU_SRI = DSI + 0x20, DSI + 0xB4, DSI + 0xEA


class Failed(Exception):
    pass


def u16(data, at):
    return struct.unpack_from(">H", data, at)[0]


def u32(data, at):
    return struct.unpack_from(">I", data, at)[0]


def put16(data, at, value):
    struct.pack_into(">H", data, at, value)


def put32(data, at, value):
    struct.pack_into(">I", data, at, value)


def run(args):
    r = subprocess.run(args, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                       env=dict(os.environ, VIDEO_FORMAT="PAL"))
    if r.returncode != 0:
        raise Failed("%s failed:\n%s" % (args[0], (r.stdout + r.stderr)[-3000:]))


def font():
    for name in ("DejaVuSansMono-Bold.ttf", "DejaVuSans.ttf"):
        path = "/usr/share/fonts/truetype/dejavu/" + name
        if os.path.exists(path):
            return path
    raise Failed("no DejaVu font (scripts/install-deps.sh installs it)")


def encode(work, name, source, seconds, start, angle, tone):
    """A PAL DVD piece with its label and code strip, its pictures numbered from `start`
    seconds on."""
    first = start * 25
    strip = ["drawbox=x=0:y=536:w=720:h=32:color=black:t=fill"]
    for bit in range(13):
        strip.append("drawbox=x=%d:y=536:w=40:h=32:color=white:t=fill:"
                     "enable='mod(floor((n+%d)/pow(2\\,%d))\\,2)'" % (40 * bit, first, bit))
    strip.append("drawbox=x=520:y=536:w=40:h=32:color=white:t=fill")
    for bit in range(3):
        if angle >> bit & 1:
            strip.append("drawbox=x=%d:y=536:w=40:h=32:color=white:t=fill" % (560 + 40 * bit))
    label = "ANGLE %d" % angle if angle else name.upper()
    text = ("drawtext=fontfile=%s:fontsize=40:fontcolor=white:box=1:boxcolor=black@0.6:x=40:"
            "y=40:text='%s %%{pts\\:hms\\:%d}'" % (font(), label, start))
    run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
         "-f", "lavfi", "-i", "%s=size=720x576:rate=25:duration=%d" % (source, seconds),
         "-f", "lavfi", "-i", "aevalsrc=0.3*sin(2*PI*%d*t):s=48000:c=stereo:d=%d" % (tone, seconds),
         "-vf", ",".join([text] + strip), "-target", "pal-dvd", "-aspect", "4:3",
         "-b:v", "2500k", "-g", "12", "-flags", "+cgop", "-sc_threshold", "1000000000",
         "-threads", "2",
         os.path.join(work, name + ".mpg")])


def author(work):
    for piece in PIECES:
        encode(work, *piece)
    vobs = ['<vob file="%s/intro.mpg" chapters="0" />' % work,
            '<vob file="%s/angle1.mpg" chapters="0" />' % work,
            '<vob file="%s/angle2.mpg" />' % work,
            '<vob file="%s/outro.mpg" chapters="0" />' % work]
    with open(os.path.join(work, "disc.xml"), "w") as f:
        f.write('<dvdauthor dest="%s/disc"><vmgm /><titleset><titles>'
                '<video format="pal" aspect="4:3" /><pgc>%s</pgc></titles></titleset>'
                '</dvdauthor>\n' % (work, "".join(vobs)))
    run(["dvdauthor", "-x", os.path.join(work, "disc.xml")])
    return os.path.join(work, "disc", "VIDEO_TS")


def bcd(n):
    return (n // 10) << 4 | n % 10


def dvd_time(frames):
    """A playback time at 25 pictures a second."""
    seconds, frame = divmod(frames, 25)
    return bytes([bcd(seconds // 3600), bcd(seconds // 60 % 60), bcd(seconds % 60),
                  0x40 | bcd(frame)])


def time_frames(raw):
    def unbcd(b):
        return (b >> 4) * 10 + (b & 15)
    return (unbcd(raw[0]) * 3600 + unbcd(raw[1]) * 60 + unbcd(raw[2])) * 25 + unbcd(raw[3] & 0x3F)


def shift_timestamp(data, at, ticks):
    """Adds ticks to the 33-bit timestamp coded at data[at:at + 5] (a PES PTS or DTS, or a pack
    header's SCR base, which share the bit layout but for the SCR's extra marker bits)."""
    b = data[at:at + 5]
    value = ((b[0] >> 3 & 7) << 30 | (b[0] & 3) << 28 | b[1] << 20 | (b[2] >> 3) << 15 |
             (b[2] & 3) << 13 | b[3] << 5 | b[4] >> 3) if data[at - 4:at] == b"\0\0\1\xba" else (
             (b[0] >> 1 & 7) << 30 | b[1] << 22 | (b[2] >> 1) << 15 | b[3] << 7 | b[4] >> 1)
    value = (value + ticks) % (1 << 33)
    if data[at - 4:at] == b"\0\0\1\xba":
        data[at] = (b[0] & 0xC4) | (value >> 30 & 7) << 3 | (value >> 28 & 3)
        data[at + 1] = value >> 20 & 0xFF
        data[at + 2] = (b[2] & 0x04) | (value >> 15 & 0x1F) << 3 | (value >> 13 & 3)
        data[at + 3] = value >> 5 & 0xFF
        data[at + 4] = (b[4] & 0x07) | (value & 0x1F) << 3
    else:
        data[at] = (b[0] & 0xF1) | (value >> 30 & 7) << 1
        data[at + 1] = value >> 22 & 0xFF
        data[at + 2] = (value >> 15 & 0x7F) << 1 | 1
        data[at + 3] = value >> 7 & 0xFF
        data[at + 4] = (value & 0x7F) << 1 | 1


def shift_sectors(vob, first, count, ticks):
    """Moves the timestamps of count packs from sector first by ticks: the packs' clock, the
    packets' presentation and decoding times, and the navigation packs' VOBU times."""
    for sector in range(first, first + count):
        pack = sector * SECTOR
        if vob[pack:pack + 4] != b"\0\0\1\xba":
            raise Failed("no pack header at sector %d" % sector)
        shift_timestamp(vob, pack + 4, ticks)
        at = pack + 14 + (vob[pack + 13] & 7)
        while at + 6 <= pack + SECTOR and vob[at:at + 3] == b"\0\0\1":
            stream, length = vob[at + 3], u16(vob, at + 4)
            if stream == 0xBF and vob[at + 6] == 0:  # the presentation packet's VOBU times
                for field in (12, 16, 20):
                    if u32(vob, at + 7 + field):
                        put32(vob, at + 7 + field, (u32(vob, at + 7 + field) + ticks) % (1 << 32))
            elif stream == 0xBF and vob[at + 6] == 1:  # the search packet's clock and VOB times
                for field in (0, 0x20 + 12, 0x20 + 16):
                    if u32(vob, at + 7 + field):
                        put32(vob, at + 7 + field, (u32(vob, at + 7 + field) + ticks) % (1 << 32))
            elif stream == 0xBD or 0xC0 <= stream <= 0xEF:
                flags = vob[at + 7] >> 6
                if flags & 2:
                    shift_timestamp(vob, at + 9, ticks)
                if flags == 3:
                    shift_timestamp(vob, at + 14, ticks)
            at += 6 + length


class Vobu:
    def __init__(self, vob, start):
        at = start * SECTOR
        if vob[at + 0x26:at + 0x2A] != b"\0\0\1\xbf" or vob[at + 0x400:at + 0x404] != b"\0\0\1\xbf":
            raise Failed("no navigation pack at sector %d" % start)
        self.old = start
        self.sectors = u32(vob, at + DSI + 8) + 1
        self.cell = u16(vob, at + DSI + 24)  # dvdauthor: one VOB id a cell
        self.elapsed = time_frames(vob[at + DSI + 28:at + DSI + 32])
        self.new = start


def interleave(vob, vts, pgc):
    """Rewrites the picture file `vob` and the title set's control file `vts` (bytearrays) in
    place; `pgc` is the title's program chain's byte offset in `vts`."""
    cells = vts[pgc + 3]
    playback = pgc + u16(vts, pgc + 0xE8)
    if cells != 4:
        raise Failed("dvdauthor made %d cells, not 4" % cells)
    admap = u32(vts, 0xE4) * SECTOR
    starts = [u32(vts, admap + 4 + 4 * i) for i in range((u32(vts, admap) - 3) // 4)]
    vobus = [Vobu(vob, s) for s in starts]
    for a, b in zip(vobus, vobus[1:]):
        if a.old + a.sectors != b.old:
            raise Failed("VOBU at %d does not end where the next begins" % a.old)
    by_cell = {c: [v for v in vobus if v.cell == c] for c in range(1, 5)}
    angle1, angle2 = by_cell[2], by_cell[3]
    # dvdauthor starts each piece's time afresh: the block and the outro are moved on to follow
    # the cells before them, as one piece cut into cells would.
    def ptm(vobu, field):
        return u32(vob, vobu.old * SECTOR + PCI + field)
    for cell, before in ((2, 1), (3, 1), (4, 2)):
        ticks = ptm(by_cell[before][-1], 16) - ptm(by_cell[cell][0], 12)
        first = by_cell[cell][0].old
        shift_sectors(vob, first, by_cell[cell][-1].old + by_cell[cell][-1].sectors - first, ticks)
    if len(angle1) != len(angle2) or [v.elapsed for v in angle1] != [v.elapsed for v in angle2]:
        raise Failed("the angles' VOBUs do not match in time")
    units = [[cell[i:i + ILVU_VOBUS] for i in range(0, len(cell), ILVU_VOBUS)]
             for cell in (angle1, angle2)]
    # The new order: the intro, the units alternating angle by angle, the outro.
    at = angle1[0].old
    order = by_cell[1] + [v for pair in zip(*units) for unit in pair for v in unit] + by_cell[4]
    for unit_pair in zip(*units):
        for unit in unit_pair:
            for v in unit:
                v.new = at
                at += v.sectors
    new_vob = bytearray(len(vob))
    for v in order:
        new_vob[v.new * SECTOR:(v.new + v.sectors) * SECTOR] = \
            vob[v.old * SECTOR:(v.old + v.sectors) * SECTOR]
    by_old = {v.old: v for v in vobus}

    def unit_of(v):
        for angle, cell_units in enumerate(units):
            for k, unit in enumerate(cell_units):
                if v in unit:
                    return angle, k
        return None

    def unit_span(unit):
        return unit[0].new, unit[-1].new + unit[-1].sectors - 1

    for v in vobus:
        nav = v.new * SECTOR
        put32(new_vob, nav + PCI, v.new)
        put32(new_vob, nav + DSI + 4, v.new)
        # Search pointers: the same VOBU as before, at its new place.
        for i in range(42):
            at_ptr = nav + VOBU_SRI + 4 * i
            raw = u32(new_vob, at_ptr)
            if raw & 0x3FFFFFFF == NONE:
                continue
            backwards = 21 <= i
            target = by_old.get(v.old - (raw & 0x3FFFFFFF) if backwards else v.old + (raw & 0x3FFFFFFF))
            if target is None or target.cell != v.cell:
                raise Failed("VOBU %d: search pointer %d leads out of its cell" % (v.old, i))
            distance = v.new - target.new if backwards else target.new - v.new
            if distance < 0:
                raise Failed("VOBU %d: search pointer %d turns round" % (v.old, i))
            put32(new_vob, at_ptr, (raw & 0xC0000000) | distance)
        place = unit_of(v)
        if place is None:
            continue
        angle, k = place
        unit = units[angle][k]
        first, last = unit_span(unit)
        category = 0x4000 | (0x2000 if v is unit[0] else 0) | (0x1000 if v is unit[-1] else 0)
        put16(new_vob, nav + SML_PBI, category)
        put32(new_vob, nav + SML_PBI + 2, last - v.new)
        if k + 1 < len(units[angle]):
            following = unit_span(units[angle][k + 1])
            put32(new_vob, nav + SML_PBI + 6, following[0] - v.new)
            put16(new_vob, nav + SML_PBI + 10, following[1] - following[0] + 1)
        else:
            put32(new_vob, nav + SML_PBI + 6, 0x7FFFFFFF)
            put16(new_vob, nav + SML_PBI + 10, 0)
        # Seamless angle destinations: each angle's unit after this one (the angles meet at
        # the units' ends).
        for a in range(2):
            entry = nav + SML_AGLI + 6 * a
            if k + 1 < len(units[a]):
                there = unit_span(units[a][k + 1])
                offset = there[0] - v.new
                put32(new_vob, entry, offset if offset >= 0 else 0x80000000 | -offset)
                put16(new_vob, entry + 4, there[1] - there[0] + 1)
            else:
                put32(new_vob, entry, 0x7FFFFFFF)
                put16(new_vob, entry + 4, 0)
    vob[:] = new_vob

    # Cell playback: the block's flags and each cell's sectors.
    for c, cell in enumerate((angle1, angle2)):
        entry = playback + 24 * (c + 1)
        mode = 1 if c == 0 else 3  # first, last cell of the block
        vts[entry] = mode << 6 | 1 << 4 | (vts[entry] & 0x0A) | 0x04 | 0x01
        first_unit = unit_span(units[c][0])
        put32(vts, entry + 8, first_unit[0])
        put32(vts, entry + 12, first_unit[1])
        put32(vts, entry + 16, cell[-1].new)
        put32(vts, entry + 20, unit_span(units[c][-1])[1])
    # The chain lasts as long as one angle's cells.
    frames = sum(time_frames(vts[playback + 24 * c + 4:playback + 24 * c + 8]) for c in (0, 1, 3))
    vts[pgc + 4:pgc + 8] = dvd_time(frames)
    # The cell address table: a piece for each interleaved unit of the block's cells.
    cadt = u32(vts, 0xE0) * SECTOR
    pieces = []
    for i in range((u32(vts, cadt + 4) - 7) // 12):
        entry = cadt + 8 + 12 * i
        vob_id, cell_id = u16(vts, entry), vts[entry + 2]
        if vob_id in (2, 3):
            pieces += [(vob_id, cell_id) + unit_span(unit) for unit in units[vob_id - 2]]
        else:
            pieces.append((vob_id, cell_id, u32(vts, entry + 4), u32(vts, entry + 8)))
    if 8 + 12 * len(pieces) > SECTOR or u32(vts, 0xE4) != u32(vts, 0xE0) + 1:
        raise Failed("the cell address table does not fit its sector")
    put32(vts, cadt + 4, 7 + 12 * len(pieces))
    for i, (vob_id, cell_id, first, last) in enumerate(sorted(pieces)):
        struct.pack_into(">HBxII", vts, cadt + 8 + 12 * i, vob_id, cell_id, first, last)
    # The VOBU address map, in sector order.
    for i, s in enumerate(sorted(v.new for v in vobus)):
        put32(vts, admap + 4 + 4 * i, s)
    # The time map: the VOBU playing at each whole second of angle 1.
    tmapti = u32(vts, 0xD4) * SECTOR
    tmap = tmapti + u32(vts, tmapti + 8)
    unit_seconds = vts[tmap]
    old_entries = u16(vts, tmap + 2)
    starts = {1: 0, 2: time_frames(vts[playback + 4:playback + 8]), 3: None}
    starts[4] = starts[2] + time_frames(vts[playback + 28:playback + 32])
    timeline = [(starts[v.cell] + v.elapsed, v) for v in vobus if v.cell != 3]
    entries = []
    for n in range(1, frames // (25 * unit_seconds) + 1):
        t = n * unit_seconds * 25
        if t >= frames:
            break
        entries.append(max((e for e in timeline if e[0] <= t), key=lambda e: e[0])[1].new)
    if len(entries) > old_entries:
        raise Failed("the time map grew")
    put16(vts, tmap + 2, len(entries))
    for i in range(old_entries):
        put32(vts, tmap + 4 + 4 * i, entries[i] if i < len(entries) else 0)


def rewrite(folder):
    with open(os.path.join(folder, "VIDEO_TS.IFO"), "rb") as f:
        vmg = bytearray(f.read())
    with open(os.path.join(folder, "VTS_01_0.IFO"), "rb") as f:
        vts = bytearray(f.read())
    with open(os.path.join(folder, "VTS_01_1.VOB"), "rb") as f:
        vob = bytearray(f.read())
    if vmg[:12] != b"DVDVIDEO-VMG" or vts[:12] != b"DVDVIDEO-VTS":
        raise Failed("dvdauthor wrote no DVD-Video control files")
    pgcit = u32(vts, 0xCC) * SECTOR
    interleave(vob, vts, pgcit + u32(vts, pgcit + 12))
    tt_srpt = u32(vmg, 0xC4) * SECTOR
    vmg[tt_srpt + 8 + 1] = 2  # title 1's angles
    for name, data in (("VIDEO_TS.IFO", vmg), ("VIDEO_TS.BUP", vmg), ("VTS_01_0.IFO", vts),
                       ("VTS_01_0.BUP", vts), ("VTS_01_1.VOB", vob)):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def done(out):
    try:
        with open(os.path.join(out, ".kavelo-angle-disc")) as f:
            if f.read() != LAYOUT:
                return False
        return all(os.path.getsize(os.path.join(out, "VIDEO_TS", n)) > 0
                   for n in ("VIDEO_TS.IFO", "VTS_01_0.IFO", "VTS_01_1.VOB"))
    except OSError:
        return False


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    out = sys.argv[1]
    if done(out):
        return 0
    for tool in ("ffmpeg", "dvdauthor"):
        if not shutil.which(tool):
            print("%s: %s is missing (scripts/install-deps.sh installs it)" % (sys.argv[0], tool),
                  file=sys.stderr)
            return 1
    os.makedirs(out, exist_ok=True)
    try:
        with tempfile.TemporaryDirectory(dir=out, prefix=".work.") as work:
            folder = author(work)
            rewrite(folder)
            shutil.rmtree(os.path.join(out, "VIDEO_TS"), ignore_errors=True)
            shutil.move(folder, os.path.join(out, "VIDEO_TS"))
    except (Failed, OSError, struct.error) as e:
        print("%s: %s" % (sys.argv[0], e), file=sys.stderr)
        return 1
    with open(os.path.join(out, ".kavelo-angle-disc"), "w") as f:
        f.write(LAYOUT)
    return 0


if __name__ == "__main__":
    sys.exit(main())
