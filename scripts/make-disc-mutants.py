#!/usr/bin/env python3
"""Makes damaged copies of a DVD-Video folder for the mutated-disc test.

usage: make-disc-mutants.py DISC OUTDIR [COUNT] [SEED]

DISC holds VIDEO_TS. Each mutant OUTDIR/NNN/VIDEO_TS has the disc's control files (IFO, BUP)
damaged in one of a few ways and its picture files (VOB) linked to the originals:
byte flips, truncations, zeroed tables, bad table pointers and bad counts and offsets inside
the tables, sometimes in the backup copy too (else the reader falls back on it). Mutant 000 is
the one-byte damage of the first title set's program-chain table pointer (offset 0xCF of
VTS_01_0.IFO from 0x02 to 0x03), 001 the same in its backup as well. OUTDIR/NNN/DAMAGE says
what was done. The same disc, count and seed give the same mutants.
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


def link(src, dst):
    try:
        os.link(src, dst)
    except OSError:
        shutil.copyfile(src, dst)


def main():
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
        target = os.path.join(out, "%03d" % index, "VIDEO_TS")
        os.makedirs(target)
        for n in names:
            if n in files:
                with open(os.path.join(target, n), "wb") as f:
                    f.write(files[n])
            else:
                link(os.path.join(source, n), os.path.join(target, n))
        with open(os.path.join(out, "%03d" % index, "DAMAGE"), "w") as f:
            f.write(damage + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
