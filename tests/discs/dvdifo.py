"""A small reader of DVD-Video control files (IFO) and menu navigation packs, for checking the
discs the authoring scripts make with tools outside the player."""
import os
import struct

SECTOR = 2048


def u16(data, at):
    return struct.unpack_from(">H", data, at)[0]


def u32(data, at):
    return struct.unpack_from(">I", data, at)[0]


def bcd_seconds(data, at):
    """A playback time (BCD hours, minutes, seconds, frames with the rate in the top bits)."""
    def bcd(b):
        return (b >> 4) * 10 + (b & 0x0F)
    frames = bcd(data[at + 3] & 0x3F)
    rate = 25 if (data[at + 3] >> 6) == 1 else 30
    return bcd(data[at]) * 3600 + bcd(data[at + 1]) * 60 + bcd(data[at + 2]) + frames / rate


class Pgc:
    """A program chain: its commands and the start time of each program."""

    def __init__(self, data, at):
        self.programs = data[at + 2]
        self.cells = data[at + 3]
        commands = u16(data, at + 0xE4)
        self.pre, self.post, self.cell_commands = [], [], []
        if commands:
            table = at + commands
            pre, post, cell = u16(data, table), u16(data, table + 2), u16(data, table + 4)
            rows = [bytes(data[table + 8 + 8 * i:table + 16 + 8 * i]) for i in range(pre + post + cell)]
            self.pre, self.post, self.cell_commands = rows[:pre], rows[pre:pre + post], rows[pre + post:]
        program_map, cells = u16(data, at + 0xE6), u16(data, at + 0xE8)
        cell_starts, t = [], 0.0
        self.first_sector = u32(data, at + cells + 8) if cells and self.cells else None
        for c in range(self.cells if cells else 0):
            cell_starts.append(t)
            flags = data[at + cells + 24 * c]
            if flags & 0x30 != 0x10 or flags >> 6 == 1:  # one cell of an angle block counts
                t += bcd_seconds(data, at + cells + 24 * c + 4)
        self.seconds = t
        self.program_starts = [cell_starts[data[at + program_map + p] - 1]
                               for p in range(self.programs if program_map else 0)]


def pgcs_of_table(data, table):
    """The program chains of a program-chain table at byte offset table."""
    return [Pgc(data, table + u32(data, table + 8 + 8 * n + 4)) for n in range(u16(data, table))]


def menu_pgcs(data, pointer):
    """(entry byte, Pgc) of the first language unit of the menu table the pointer names."""
    sector = u32(data, pointer)
    if sector == 0:
        return []
    unit_table = sector * SECTOR
    unit = unit_table + u32(data, unit_table + 8 + 4)
    return [(data[unit + 8 + 8 * n], Pgc(data, unit + u32(data, unit + 8 + 8 * n + 4)))
            for n in range(u16(data, unit))]


class Disc:
    """A VIDEO_TS folder's titles, first-play chain, main menus and title sets."""

    def __init__(self, folder):
        self.folder = os.path.join(folder, "VIDEO_TS")
        vmg = self.read("VIDEO_TS.IFO")
        assert vmg[:12] == b"DVDVIDEO-VMG", "VIDEO_TS.IFO is no video manager"
        self.first_play = Pgc(vmg, u32(vmg, 0x84))
        self.menus = menu_pgcs(vmg, 0xC8)
        titles = u32(vmg, 0xC4) * SECTOR
        # (title set, title in its set, chapter count) of each title
        self.titles = [(vmg[titles + 8 + 12 * n + 6], vmg[titles + 8 + 12 * n + 7],
                        u16(vmg, titles + 8 + 12 * n + 2)) for n in range(u16(vmg, titles))]
        self.title_sets = [TitleSet(self, n + 1) for n in range(u16(vmg, 0x3E))]

    def read(self, name):
        with open(os.path.join(self.folder, name), "rb") as f:
            return f.read()

    def title(self, number):
        """The Pgc of title number (from 1); dvdauthor gives each title one chain."""
        vts, ttn, _ = self.titles[number - 1]
        return self.title_sets[vts - 1].titles[ttn - 1]


class TitleSet:
    def __init__(self, disc, number):
        data = disc.read("VTS_%02d_0.IFO" % number)
        assert data[:12] == b"DVDVIDEO-VTS", "VTS_%02d_0.IFO is no title set" % number
        self.titles = pgcs_of_table(data, u32(data, 0xCC) * SECTOR)
        self.menus = menu_pgcs(data, 0xD0)


def command(raw):
    """The few navigation commands the test discs use, as text; the hex bytes otherwise."""
    op = raw[0]
    if raw[:2] == b"\x30\x02":
        return "jump title %d" % raw[5]
    if raw[:2] in (b"\x30\x06", b"\x30\x08") and raw[5] & 0xC0 == 0xC0:
        return "%s vmgm pgc %d" % ("jump" if raw[1] == 6 else "call", u16(raw, 2))
    if raw[:2] == b"\x20\x04":
        return "link pgc %d" % u16(raw, 6)
    if raw[:2] == b"\x30\x03":
        return "jump set title %d" % raw[5]
    if op == 0x30 and raw[1] == 0x05:
        return "jump title %d chapter %d" % (raw[5], u16(raw, 2))
    return raw.hex(" ")
