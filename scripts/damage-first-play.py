#!/usr/bin/env python3
"""Copies a DVD-Video folder and damages its first-play program.

usage: damage-first-play.py DISC OUTDIR

DISC holds VIDEO_TS. OUTDIR/VIDEO_TS becomes a copy of it (picture files linked where the file
system allows) in which VIDEO_TS.IFO alone, not its backup VIDEO_TS.BUP, has the first
pre-command of the first-play program chain replaced by the bytes 20 01 7f 00 ff 63 63 00 (a
link command naming a program, cell and button that do not exist). The command is found from
the file's own pointers: the first-play chain's byte offset at 0x84, that chain's command table
offset at chain + 0xE4, the table's pre-command count and its first command after the 8-byte
table header. On the sample disc that is offset 0x4F4, "jump to title 1". OUTDIR/DAMAGE says
what was replaced where. Exits non-zero, with a message, when the disc has no first-play
pre-command or a pointer leads outside the file; skips the work when OUTDIR already holds the
damaged copy of the disc as it is now.
"""
import os
import shutil
import struct
import sys

DAMAGE = bytes.fromhex("20017f00ff636300")
PGC_HEADER = 0xEC  # a program chain's fixed part, up to the first table
COMMAND = 8


class Refused(Exception):
    pass


def u16(data, at):
    if at < 0 or at + 2 > len(data):
        raise Refused("offset %#x lies outside the %d-byte file" % (at, len(data)))
    return struct.unpack_from(">H", data, at)[0]


def u32(data, at):
    if at < 0 or at + 4 > len(data):
        raise Refused("offset %#x lies outside the %d-byte file" % (at, len(data)))
    return struct.unpack_from(">I", data, at)[0]


def first_pre_command(ifo):
    """The byte offset of the first-play chain's first pre-command in VIDEO_TS.IFO's bytes."""
    if ifo[:12] != b"DVDVIDEO-VMG":
        raise Refused("not a VIDEO_TS.IFO (no DVDVIDEO-VMG mark)")
    pgc = u32(ifo, 0x84)
    if pgc == 0:
        raise Refused("the disc has no first-play program chain")
    if pgc + PGC_HEADER > len(ifo):
        raise Refused("first-play chain at %#x lies outside the file" % pgc)
    table_offset = u16(ifo, pgc + 0xE4)
    if table_offset == 0:
        raise Refused("the first-play chain has no command table")
    if table_offset < PGC_HEADER:
        raise Refused("command table offset %#x lies inside the chain's header" % table_offset)
    table = pgc + table_offset
    pre = u16(ifo, table)
    if pre == 0:
        raise Refused("the first-play chain has no pre-command")
    first = table + 8
    if first + COMMAND > len(ifo):
        raise Refused("first pre-command at %#x lies outside the file" % first)
    return first


def up_to_date(source, target, ifo):
    """Whether target already holds the damaged copy of today's source."""
    try:
        names = sorted(os.listdir(source))
        if names != sorted(os.listdir(target)):
            return False
        for name in names:
            there = os.path.join(target, name)
            if name.upper() == "VIDEO_TS.IFO":
                with open(there, "rb") as f:
                    if f.read() != ifo:
                        return False
                continue
            a, b = os.stat(os.path.join(source, name)), os.stat(there)
            if a.st_size != b.st_size or (a.st_ino != b.st_ino and a.st_mtime > b.st_mtime):
                return False
        return True
    except OSError:
        return False


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    source = os.path.join(sys.argv[1], "VIDEO_TS")
    out = sys.argv[2]
    target = os.path.join(out, "VIDEO_TS")
    stamp = os.path.join(out, "DAMAGE")
    try:
        with open(os.path.join(source, "VIDEO_TS.IFO"), "rb") as f:
            ifo = bytearray(f.read())
        at = first_pre_command(ifo)
    except (OSError, Refused) as e:
        print("%s: %s: %s" % (sys.argv[0], source, e), file=sys.stderr)
        return 1
    note = "VIDEO_TS.IFO first-play pre-command 1 at %#x: %s -> %s\n" % (
        at, ifo[at:at + COMMAND].hex(" "), DAMAGE.hex(" "))
    ifo[at:at + COMMAND] = DAMAGE
    if up_to_date(source, target, ifo):
        return 0
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(target)
    for name in sorted(os.listdir(source)):
        if name.upper() == "VIDEO_TS.IFO":
            with open(os.path.join(target, name), "wb") as f:
                f.write(ifo)
        elif name.upper().endswith(".VOB"):
            try:
                os.link(os.path.join(source, name), os.path.join(target, name))
            except OSError:
                shutil.copyfile(os.path.join(source, name), os.path.join(target, name))
        else:
            shutil.copyfile(os.path.join(source, name), os.path.join(target, name))
    with open(stamp, "w") as f:
        f.write(note)
    return 0


if __name__ == "__main__":
    sys.exit(main())
