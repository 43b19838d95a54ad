#!/usr/bin/env python3
"""Makes damaged copies of DVD-Video folders for the damaged-disc tests.

usage: make-disc-mutants.py DISC OUTDIR [COUNT] [SEED]
       make-disc-mutants.py --all OUTDIR SEED NAME=DISC:COUNT...

DISC holds VIDEO_TS. In the first form each mutant OUTDIR/NNN/VIDEO_TS has the disc's control
files (IFO, BUP) damaged in one of a few ways: byte flips, truncations, zeroed tables, bad table
pointers and bad counts and offsets inside the tables, sometimes in the backup copy too (else the
reader falls back on it). Mutant 000 is the one-byte damage of the first title set's
program-chain table pointer (offset 0xCF of VTS_01_0.IFO from 0x02 to 0x03), 001 the same in its
backup as well.

The second form makes COUNT mutants OUTDIR/NAME-NNN of each DISC, taking in turn every kind of
damage the disc has room for:
  ifo          the control-file damage above
  commands     the disc's program: a pre-, post- or cell command of a program chain replaced
               (random bytes, a random opcode, jumps and links to titles, chapters, chains,
               programs and cells that do not exist, links of a chain to itself, a goto to its
               own line), the command counts, a cell's command number or a chain's next,
               previous and up links (to itself among others); the backup too, sometimes
  buttons      a menu's buttons in the navigation packs of the menu pictures: their count,
               the forced selection, rectangles, neighbour links and commands
  navpacks     navigation packs of menus and titles: the next and previous unit offsets, the
               unit's end, sector numbers, times, cell and object numbers, whole packets
  subpictures  the menu pictures' subpictures (the buttons' pixels): sizes, control offsets,
               control commands and pixel data
Every mutant's damage is drawn from a generator seeded by SEED, NAME and its number, so the same
seed gives the same mutants, and one mutant is the same whatever the counts. Untouched files are
linked to the originals; only the damaged ones are copied.

Each mutant's DAMAGE file says what was done (the second form: its first word is the kind);
OUTDIR/MUTANTS lists the mutants of the second form, one a line: NAME-NNN NAME KIND.
"""
import os
import random
import shutil
import struct
import sys

SECTOR = 2048
# Table pointers (sector numbers, 32-bit big-endian) in the two kinds of control file.
VMG_POINTERS = [0xC4, 0xC8, 0xCC, 0xD0, 0xD4, 0xD8, 0xDC]
VTS_POINTERS = [0xC8, 0xCC, 0xD0, 0xD4, 0xD8, 0xDC, 0xE0, 0xE4]


def u16(data, at):
    return struct.unpack_from(">H", data, at)[0] if at + 2 <= len(data) else 0


def u32(data, at):
    return struct.unpack_from(">I", data, at)[0] if at + 4 <= len(data) else 0


def put16(data, at, value):
    if 0 <= at and at + 2 <= len(data):
        struct.pack_into(">H", data, at, value & 0xFFFF)


def put32(data, at, value):
    if 0 <= at and at + 4 <= len(data):
        struct.pack_into(">I", data, at, value & 0xFFFFFFFF)


def pointers(name):
    return VMG_POINTERS if name.upper().startswith("VIDEO_TS") else VTS_POINTERS


def tables(name, data):
    """(pointer offset, table byte offset) of each table the file points to."""
    found = []
    for at in pointers(name):
        sector = u32(data, at)
        if 0 < sector and sector * SECTOR < len(data):
            found.append((at, sector * SECTOR))
    return found


def pgcs(name, data):
    """Byte offsets of the program chains of a title set's program-chain table."""
    if name.upper().startswith("VIDEO_TS"):
        return []
    base = u32(data, 0xCC) * SECTOR
    if base <= 0 or base + 8 > len(data):
        return []
    found = []
    for n in range(min(u16(data, base), 64)):
        start = base + u32(data, base + 8 + 8 * n + 4)
        if base < start and start + 0xEC <= len(data):
            found.append(start)
    return found


def bad_number(rng, value, bits):
    top = (1 << bits) - 1
    return rng.choice([0, 1, top, value + 1, max(0, value - 1), value * 2 + 7,
                       rng.randrange(top + 1)])


def flip(rng, name, data):
    limit = min(len(data), 4 * SECTOR)
    hits = []
    for _ in range(rng.randint(1, 6)):
        at = rng.randrange(limit)
        data[at] ^= rng.randint(1, 255)
        hits.append(hex(at))
    return "flipped bytes at " + " ".join(hits)


def zero_table(rng, name, data):
    found = tables(name, data)
    if not found:
        return flip(rng, name, data)
    _, start = rng.choice(found)
    length = rng.choice([8, 64, SECTOR])
    data[start:start + length] = bytes(len(data[start:start + length]))
    return "zeroed %d bytes of the table at %s" % (length, hex(start))


def bad_pointer(rng, name, data):
    at = rng.choice(pointers(name))
    old = u32(data, at)
    new = rng.choice([0, 1, old + 1, old - 1 if old else 7, 0xFFFFFFFF,
                      len(data) // SECTOR + rng.randint(0, 3), rng.randrange(1 << 32)])
    put32(data, at, new)
    return "table pointer at %s from %d to %d" % (hex(at), old, new & 0xFFFFFFFF)


def bad_count(rng, name, data):
    choices = []
    for _, start in tables(name, data):
        choices.append(("table count", start, 16))
        choices.append(("table end", start + 4, 32))
        choices.append(("first entry", start + 8, 32))
        choices.append(("second entry", start + 12, 32))
    for start in pgcs(name, data):
        choices.append(("programs", start + 2, 8))
        choices.append(("cells", start + 3, 8))
        choices.append(("still time", start + 0xA2, 8))
        choices.append(("program map offset", start + 0xE6, 16))
        choices.append(("cell table offset", start + 0xE8, 16))
        choices.append(("command table offset", start + 0xE4, 16))
        cells = start + u16(data, start + 0xE8)
        for c in range(min(data[start + 3], 8)):
            cell = cells + 24 * c
            choices.append(("cell first sector", cell + 8, 32))
            choices.append(("cell last sector", cell + 20, 32))
            choices.append(("cell time", cell + 4, 32))
            choices.append(("cell flags", cell, 8))
        program_map = start + u16(data, start + 0xE6)
        for p in range(min(data[start + 2], 8)):
            choices.append(("program map", program_map + p, 8))
    if not choices:
        return bad_pointer(rng, name, data)
    what, at, bits = rng.choice(choices)
    if at + bits // 8 > len(data):
        return flip(rng, name, data)
    if bits == 8:
        old = data[at]
        data[at] = bad_number(rng, old, 8) & 0xFF
        new = data[at]
    elif bits == 16:
        old = u16(data, at)
        put16(data, at, bad_number(rng, old, 16))
        new = u16(data, at)
    else:
        old = u32(data, at)
        put32(data, at, bad_number(rng, old, 32))
        new = u32(data, at)
    return "%s at %s from %d to %d" % (what, hex(at), old, new)


def truncate(rng, name, data):
    size = rng.choice([0, 1, 0x80, 0xCF, SECTOR, rng.randrange(max(1, len(data)))])
    size = min(size, max(0, len(data) - 1))
    del data[size:]
    return "cut to %d bytes" % size


KINDS = [flip, truncate, zero_table, bad_pointer, bad_count]


# ---- the disc's program: program chains and their commands ------------------------------------

PGC_HEADER = 0xEC  # a program chain's fixed part, up to its first table


class Chain:
    """A program chain of a control file: its byte offset, number in its domain and tables."""

    def __init__(self, data, at, number):
        self.at = at
        self.number = number
        self.programs = data[at + 2]
        self.cells = data[at + 3]
        table = u16(data, at + 0xE4)
        self.commands = at + table if table >= PGC_HEADER and at + table + 8 <= len(data) else 0
        cells = u16(data, at + 0xE8)
        self.cell_table = at + cells if cells >= PGC_HEADER else 0

    def command_slots(self, data):
        """(what, byte offset, line) of each command of the chain."""
        if not self.commands:
            return []
        counts = [u16(data, self.commands + 2 * n) for n in range(3)]
        slots, at = [], self.commands + 8
        for what, count in zip(("pre", "post", "cell"), counts):
            for line in range(min(count, 128)):
                if at + 8 <= len(data):
                    slots.append((what, at, line + 1))
                at += 8
        return slots


def chain_table(data, table, first=1):
    """The chains of a program-chain table at byte offset `table`."""
    if table <= 0 or table + 8 > len(data):
        return []
    found = []
    for n in range(min(u16(data, table), 64)):
        start = table + u32(data, table + 8 + 8 * n + 4)
        if table < start and start + PGC_HEADER <= len(data):
            found.append(Chain(data, start, first + n))
    return found


def menu_chains(data, pointer):
    """The chains of every language unit of the menu table the pointer at `pointer` names."""
    units = u32(data, pointer) * SECTOR
    if units <= 0 or units + 8 > len(data):
        return []
    found = []
    for n in range(min(u16(data, units), 8)):
        found += chain_table(data, units + u32(data, units + 8 + 8 * n + 4))
    return found


def chains(name, data):
    """Every program chain of a control file."""
    if name.upper().startswith("VIDEO_TS"):
        found = []
        first_play = u32(data, 0x84)
        if 0 < first_play and first_play + PGC_HEADER <= len(data):
            found.append(Chain(data, first_play, 1))
        return found + menu_chains(data, 0xC8)
    return chain_table(data, u32(data, 0xCC) * SECTOR) + menu_chains(data, 0xD0)


def title_count(files):
    data = files.get("VIDEO_TS.IFO", b"")
    table = u32(data, 0xC4) * SECTOR
    return u16(data, table) if 0 < table < len(data) else 1


def bad_command(rng, titles, chain, line):
    """Eight bytes of a command that is broken, or leads nowhere or round in a circle."""
    cells = chain.cells if chain else 1
    own = chain.number if chain else 1
    far_title = rng.choice([0, titles + 1, 99, 127])
    choices = [
        ("random bytes", bytes(rng.randrange(256) for _ in range(8))),
        ("random opcode", bytes([rng.randrange(256), rng.randrange(256)]) + bytes(6)),
        ("jump to title %d" % far_title, bytes([0x30, 0x02, 0, 0, 0, far_title, 0, 0])),
        ("jump to chapter 999 of title 1", bytes([0x30, 0x05, 0x03, 0xE7, 0, 1, 0, 0])),
        ("link to chain %d" % (own + 40), bytes([0x20, 0x04, 0, 0, 0, 0, 0, own + 40])),
        ("link to chain 32767", bytes([0x20, 0x04, 0, 0, 0, 0, 0x7F, 0xFF])),
        ("link of chain %d to itself" % own, bytes([0x20, 0x04, 0, 0, 0, 0, 0, own])),
        ("link to cell %d" % (cells + 1), bytes([0x20, 0x07, 0, 0, 0, 0, 0, cells + 1])),
        ("link to cell 0", bytes([0x20, 0x07, 0, 0, 0, 0, 0, 0])),
        ("link to program 127", bytes([0x20, 0x06, 0, 0, 0, 0, 0, 0x7F])),
        ("goto its own line %d" % line, bytes([0x00, 0x01, 0, 0, 0, 0, 0, line & 0xFF])),
        ("jump to disc menu chain 999", bytes([0x30, 0x06, 0x03, 0xE7, 0, 0xC0, 0, 0])),
        ("call of title set 9's menu", bytes([0x30, 0x08, 0, 0, 0x09, 0x83, 0, 0])),
        ("a wild stream register", bytes([0x51, 0, 0x8F, 0x7F, 0xC0, 0, 0, 0])),
    ]
    return rng.choice(choices)


def put_bytes(edits, data, at, new):
    """Records and makes the replacement of data[at:at + len(new)]; False out of bounds."""
    if at < 0 or at + len(new) > len(data):
        return False
    data[at:at + len(new)] = new
    edits.append((at, bytes(new)))
    return True


def commands(rng, name, data, titles, edits):
    found = [c for c in chains(name, data)]
    slots = [(c, s) for c in found for s in c.command_slots(data)]
    roll = rng.random()
    if slots and roll < 0.6:
        chain, (what, at, line) = rng.choice(slots)
        label, new = bad_command(rng, titles, chain, line)
        put_bytes(edits, data, at, new)
        return "%s command %d of chain %d at %s: %s" % (what, line, chain.number, hex(at), label)
    with_table = [c for c in found if c.commands]
    if with_table and roll < 0.75:
        chain = rng.choice(with_table)
        field = rng.randrange(4)
        at = chain.commands + 2 * field
        new = bad_number(rng, u16(data, at), 16)
        put_bytes(edits, data, at, struct.pack(">H", new & 0xFFFF))
        return "%s count of chain %d at %s to %d" % (
            ("pre", "post", "cell", "end")[field], chain.number, hex(at), new & 0xFFFF)
    with_cells = [c for c in found if c.cell_table and c.cells]
    if with_cells and roll < 0.87:
        chain = rng.choice(with_cells)
        cell = rng.randrange(chain.cells)
        at = chain.cell_table + 24 * cell + 3
        new = rng.choice([1, 2, 0x7F, 0xFF, rng.randrange(256)])
        put_bytes(edits, data, at, bytes([new]))
        return "command number of cell %d of chain %d at %s to %d" % (
            cell + 1, chain.number, hex(at), new)
    if found:
        chain = rng.choice(found)
        which = rng.randrange(3)
        at = chain.at + 0x9C + 2 * which
        new = rng.choice([chain.number, chain.number + 1, 0x7FFF, rng.randrange(1 << 15)])
        put_bytes(edits, data, at, struct.pack(">H", new))
        return "%s link of chain %d at %s to %d" % (
            ("next", "previous", "up")[which], chain.number, hex(at), new)
    return "no chain found; " + flip(rng, name, data)


# ---- navigation packs, buttons and subpictures in the pictures --------------------------------

PCI = 0x2D   # the presentation packet's data in a navigation pack
DSI = 0x407  # the search packet's data
BUTTONS = PCI + 0x8E


def navigation_packs(data, limit=None):
    """Byte offsets of the navigation packs of a VOB file's bytes."""
    found = []
    for at in range(0, len(data) - SECTOR + 1, SECTOR):
        if (data[at:at + 4] == b"\0\0\1\xba" and data[at + 0x26:at + 0x2A] == b"\0\0\1\xbf" and
                data[at + 0x2C] == 0 and data[at + 0x400:at + 0x404] == b"\0\0\1\xbf" and
                data[at + 0x406] == 1):
            found.append(at)
            if limit and len(found) >= limit:
                break
    return found


def menu_vob(name):
    return name.upper() == "VIDEO_TS.VOB" or name.upper().endswith("_0.VOB")


def bits(data, at, first, count, value):
    """Sets `count` bits of the big-endian field at `at`, `first` counted from its top bit."""
    size = (first + count + 7) // 8
    word = int.from_bytes(data[at:at + size], "big")
    shift = size * 8 - first - count
    mask = ((1 << count) - 1) << shift
    word = (word & ~mask) | ((value << shift) & mask)
    return word.to_bytes(size, "big")


def buttons(rng, name, data, titles, edits):
    packs = [p for p in navigation_packs(data) if data[p + PCI + 0x71]]
    if not packs:
        return navpacks(rng, name, data, titles, edits)
    every = rng.random() < 0.3  # the same damage in every pack of the file
    targets = packs if every else [rng.choice(packs)]
    count = data[targets[0] + PCI + 0x71]
    button = rng.randrange(max(1, min(count, 36)))
    what = rng.choice(["count", "count", "forced", "rectangle", "neighbours", "command",
                       "command", "mode", "colours"])
    draws = rng.getstate()
    label = ""
    for pack in targets:
        rng.setstate(draws)
        b = pack + BUTTONS + 18 * button
        if what == "count":
            new = rng.choice([0, 37, 63, 255, count + 1, count - 1 if count > 1 else 2])
            field = rng.choice([0x71, 0x71, 0x72, 0x70])
            put_bytes(edits, data, pack + PCI + field, bytes([new]))
            label = "%s %d" % ({0x71: "button count", 0x72: "numeric button count",
                                0x70: "button offset"}[field], new)
        elif what == "forced":
            field = rng.choice([0x74, 0x75])
            new = rng.choice([count + 1, 37, 63, 255, button + 1])
            put_bytes(edits, data, pack + PCI + field, bytes([new]))
            label = "forced %s button %d" % ("selected" if field == 0x74 else "activated", new)
        elif what == "rectangle":
            x0, x1, y0, y1 = (rng.choice([0, 719, 720, 1023, rng.randrange(1024)])
                              for _ in range(4))
            if rng.random() < 0.5:
                x0, x1, y0, y1 = max(x0, x1), min(x0, x1), max(y0, y1), min(y0, y1)
            raw = data[b:b + 6]
            raw = bits(raw, 0, 2, 10, x0)
            raw = bits(raw, 0, 14, 10, x1)
            raw = bits(raw, 0, 26, 10, y0)
            raw = bits(raw, 0, 38, 10, y1)
            put_bytes(edits, data, b, raw)
            label = "button %d rectangle %d,%d - %d,%d" % (button + 1, x0, y0, x1, y1)
        elif what == "neighbours":
            links = [rng.choice([0, button + 1, count + 1, 37, 63, rng.randrange(64)])
                     for _ in range(4)]
            put_bytes(edits, data, b + 6, bytes(links))
            label = "button %d neighbours %s" % (button + 1, links)
        elif what == "command":
            text, new = bad_command(rng, titles, None, 1)
            put_bytes(edits, data, b + 10, new)
            label = "button %d command: %s" % (button + 1, text)
        elif what == "mode":
            new = rng.choice([0x0000, 0x1111, 0xFFFF, rng.randrange(1 << 16)])
            put_bytes(edits, data, pack + PCI + 0x6E, struct.pack(">H", new))
            status = rng.choice([0, 2, 3])
            put_bytes(edits, data, pack + PCI + 0x60, struct.pack(">H", status))
            label = "button mode %#x, highlight status %d" % (new, status)
        else:
            new = bytes(rng.randrange(256) for _ in range(24))
            put_bytes(edits, data, pack + PCI + 0x76, new)
            label = "highlight colours"
    return "%s in %s" % (label, "every navigation pack" if every else
                         "the navigation pack at %s" % hex(targets[0]))


def navpacks(rng, name, data, titles, edits):
    packs = navigation_packs(data, limit=400)
    if not packs:
        return flip(rng, name, data)
    every = rng.random() < 0.25
    targets = packs if every else [rng.choice(packs)]
    what = rng.choice(["next unit", "next unit", "previous unit", "unit end", "sector number",
                       "cell time", "cell number", "presentation times", "search table",
                       "angle table", "whole packet", "start code"])
    draws = rng.getstate()
    label = ""
    for pack in targets:
        rng.setstate(draws)
        if what in ("next unit", "previous unit"):
            at = pack + DSI + (0x13A if what == "next unit" else 0x13E)
            new = rng.choice([0, 0x80000000, 0xBFFFFFFF, 0x3FFFFFFF, 0x80000000 | 0x3FFFFF,
                              rng.randrange(1 << 32)])
            put_bytes(edits, data, at, struct.pack(">I", new))
            label = "%s offset %#x" % (what, new)
        elif what == "unit end":
            new = rng.choice([0, 1, 0xFFFFFFFF, rng.randrange(1 << 20)])
            put_bytes(edits, data, pack + DSI + 0x08, struct.pack(">I", new))
            label = "unit end %#x" % new
        elif what == "sector number":
            new = rng.choice([0, 0xFFFFFFFF, rng.randrange(1 << 32)])
            at = pack + rng.choice([DSI + 0x04, PCI])
            put_bytes(edits, data, at, struct.pack(">I", new))
            label = "sector number %#x at +%#x" % (new, at - pack)
        elif what == "cell time":
            new = bytes(rng.choice([0xFF, 0x99, 0xFA, rng.randrange(256)]) for _ in range(4))
            at = pack + rng.choice([DSI + 0x1C, PCI + 0x18])
            put_bytes(edits, data, at, new)
            label = "elapsed time %s at +%#x" % (new.hex(), at - pack)
        elif what == "cell number":
            vob, cell = rng.randrange(1 << 16), rng.choice([0, 99, 255, rng.randrange(256)])
            put_bytes(edits, data, pack + DSI + 0x18, struct.pack(">HBB", vob, 0, cell))
            label = "object %d cell %d" % (vob, cell)
        elif what == "presentation times":
            start, end = rng.randrange(1 << 32), rng.choice([0, 1, rng.randrange(1 << 32)])
            put_bytes(edits, data, pack + PCI + 0x0C, struct.pack(">II", start, end))
            label = "unit times %d - %d" % (start, end)
        elif what == "search table":
            new = bytes(rng.randrange(256) for _ in range(4 * 19))
            put_bytes(edits, data, pack + DSI + rng.choice([0xEE, 0x142]), new)
            label = "search table"
        elif what == "angle table":
            new = bytes(rng.randrange(256) for _ in range(54))
            put_bytes(edits, data, pack + DSI + 0xB4, new)
            label = "angle table"
        elif what == "whole packet":
            at = pack + rng.choice([PCI, DSI])
            fill = rng.choice([0, 0xFF, None])
            new = bytes((rng.randrange(256) if fill is None else fill) for _ in range(0x3D3))
            put_bytes(edits, data, at, new)
            label = "%s packet filled" % ("presentation" if at == pack + PCI else "search")
        else:
            at = pack + rng.choice([0x26, 0x400, 0x2C, 0x406])
            put_bytes(edits, data, at, bytes([rng.randrange(256)]))
            label = "start code byte at +%#x" % (at - pack)
    return "%s in %s" % (label, "every navigation pack" if every else
                         "the navigation pack at %s" % hex(targets[0]))


def subpicture_packets(data):
    """(payload offset, payload length, starts a unit) of each subpicture packet."""
    found = []
    for pack in range(0, len(data) - SECTOR + 1, SECTOR):
        if data[pack:pack + 4] != b"\0\0\1\xba":
            continue
        at = pack + 14 + (data[pack + 13] & 7)
        if data[at:at + 4] != b"\0\0\1\xbd":
            continue
        header = data[at + 8]
        payload = at + 9 + header
        length = u16(data, at + 4) - 3 - header
        if 0x20 <= data[payload] <= 0x3F and length > 1:
            found.append((payload + 1, length - 1, bool(data[at + 7] & 0x80)))
    return found


def subpictures(rng, name, data, titles, edits):
    packets = subpicture_packets(data)
    firsts = [p for p in packets if p[2]]
    if not packets:
        return navpacks(rng, name, data, titles, edits)
    what = rng.choice(["unit size", "control offset", "control", "pixels"])
    if what in ("unit size", "control offset") and firsts:
        at, _, _ = rng.choice(firsts)
        at += 0 if what == "unit size" else 2
        new = rng.choice([0, 1, 4, 0xFFFF, u16(data, at) + 1, rng.randrange(1 << 16)])
        put_bytes(edits, data, at, struct.pack(">H", new))
        return "subpicture %s at %s to %d" % (what, hex(at), new)
    at, length, _ = rng.choice(packets)
    if what == "control" and firsts:
        start, _, _ = rng.choice(firsts)
        control = start + u16(data, start + 2)
        at = control if control < len(data) else start
        length = min(32, len(data) - at)
    spots = []
    for _ in range(rng.randint(1, 12)):
        spot = at + rng.randrange(max(1, length))
        put_bytes(edits, data, spot, bytes([rng.randrange(256)]))
        spots.append(hex(spot))
    return "subpicture %s bytes at %s" % (what, " ".join(spots))


def ifo_damage(rng, name, data, titles, edits):
    kind = KINDS[rng.randrange(len(KINDS))]
    return kind(rng, name, data)


# The kinds of the second form: what each damages, and the files it picks from.
DISC_KINDS = [
    ("ifo", ifo_damage, lambda n: n.upper().endswith(".IFO")),
    ("commands", commands, lambda n: n.upper().endswith(".IFO")),
    ("buttons", buttons, menu_vob),
    ("navpacks", navpacks, lambda n: n.upper().endswith(".VOB")),
    ("subpictures", subpictures, menu_vob),
]
def link(src, dst):
    try:
        os.link(src, dst)
    except OSError:
        shutil.copyfile(src, dst)


def write_mutant(source, names, files, target, damage):
    """OUTDIR/NNN: the damaged files written, every other one linked to the original."""
    folder = os.path.join(target, "VIDEO_TS")
    os.makedirs(folder)
    for n in names:
        if n in files:
            with open(os.path.join(folder, n), "wb") as f:
                f.write(files[n])
        else:
            link(os.path.join(source, n), os.path.join(folder, n))
    with open(os.path.join(target, "DAMAGE"), "w") as f:
        f.write(damage + "\n")


class Disc:
    """A disc's files, read once, and the kinds of damage it has room for."""

    def __init__(self, folder):
        self.source = os.path.join(folder, "VIDEO_TS")
        self.names = sorted(os.listdir(self.source))
        self.cache = {}
        self.titles = title_count({"VIDEO_TS.IFO": self.read("VIDEO_TS.IFO")})
        menus = [n for n in self.names if menu_vob(n)]
        with_buttons = [n for n in menus
                        if any(self.read(n)[p + PCI + 0x71] for p in navigation_packs(self.read(n)))]
        with_pictures = [n for n in menus if subpicture_packets(self.read(n))]
        titles = [n for n in self.names if n.upper().endswith("_1.VOB")]
        self.targets = {
            "ifo": [n for n in self.names if n.upper().endswith(".IFO")],
            "commands": [n for n in self.names if n.upper().endswith(".IFO")],
            "buttons": with_buttons,
            # Menus where there are some; a title's first picture file (copied whole) else.
            "navpacks": with_buttons + menus + titles if menus else titles,
            "subpictures": with_pictures,
        }
        self.kinds = [k for k in DISC_KINDS if self.targets[k[0]]]

    def read(self, name):
        if name not in self.cache:
            with open(os.path.join(self.source, name), "rb") as f:
                self.cache[name] = f.read()
        return self.cache[name]


def disc_mutant(rng, disc, index):
    """(kind, damage, {file name: damaged bytes}) of mutant `index` of `disc`."""
    kind, damage_of, _ = disc.kinds[index % len(disc.kinds)]
    name = rng.choice(disc.targets[kind])
    files = {name: bytearray(disc.read(name))}
    edits = []
    state = rng.getstate()
    damage = "%s %s: %s" % (kind, name, damage_of(rng, name, files[name], disc.titles, edits))
    backup = name[:-4] + ".BUP"
    if name.upper().endswith(".IFO") and backup in disc.names and rng.random() < 0.5:
        files[backup] = bytearray(disc.read(backup))
        if kind == "ifo":
            # The same draws again, so that the reader cannot fall back on the backup.
            after = rng.getstate()
            rng.setstate(state)
            damage_of(rng, backup, files[backup], disc.titles, [])
            rng.setstate(after)
        else:
            for at, new in edits:
                put_bytes([], files[backup], at, new)
        damage += " (backup too)"
    return kind, damage, files


def make_all(out, seed, discs):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    listing = []
    for entry in discs:
        label, _, rest = entry.partition("=")
        folder, _, count = rest.rpartition(":")
        if not label or not folder or not count.isdigit():
            print("%s: not NAME=DISC:COUNT: %s" % (sys.argv[0], entry), file=sys.stderr)
            return 2
        disc = Disc(folder)
        for index in range(int(count)):
            rng = random.Random("%d %s %d" % (seed, label, index))
            kind, damage, files = disc_mutant(rng, disc, index)
            mutant = "%s-%03d" % (label, index)
            write_mutant(disc.source, disc.names, files, os.path.join(out, mutant), damage)
            listing.append("%s %s %s\n" % (mutant, label, kind))
    with open(os.path.join(out, "MUTANTS"), "w") as f:
        f.writelines(listing)
    return 0


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "--all":
        return make_all(sys.argv[2], int(sys.argv[3]), sys.argv[4:])
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    disc, out = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 120
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 20261207
    source = os.path.join(disc, "VIDEO_TS")
    names = sorted(os.listdir(source))
    controls = sorted(n for n in names if n.upper().endswith(".IFO"))
    if not controls:
        print("%s: no IFO files in %s" % (sys.argv[0], source), file=sys.stderr)
        return 1
    originals = {}
    for n in names:
        if n.upper().endswith((".IFO", ".BUP")):
            with open(os.path.join(source, n), "rb") as f:
                originals[n] = f.read()

    rng = random.Random(seed)
    shutil.rmtree(out, ignore_errors=True)
    for index in range(count):
        files = {n: bytearray(b) for n, b in originals.items()}
        if index < 2:
            ifo = "VTS_01_0.IFO"
            targets = [ifo] if index == 0 else [ifo, "VTS_01_0.BUP"]
            for t in targets:
                files[t][0xCF] = 0x03
            damage = "program-chain table pointer low byte 0x02 -> 0x03 in " + " ".join(targets)
        else:
            ifo = rng.choice(controls)
            kind = KINDS[(index - 2) % len(KINDS)]
            state = rng.getstate()
            damage = ifo + ": " + kind(rng, ifo, files[ifo])
            backup = ifo[:-4] + ".BUP"
            if backup in files and rng.random() < 0.6:
                # The same damage in the backup, so that the reader cannot fall back on it.
                rng.setstate(state)
                kind(rng, backup, files[backup])
                damage += " (backup too)"
        write_mutant(source, names, files, os.path.join(out, "%03d" % index), damage)
    return 0


if __name__ == "__main__":
    sys.exit(main())
