#!/usr/bin/env python3
"""Checks that the test discs the authoring scripts make carry, in their own tables, the shape
the engine tests rely on: a test that meets a broken or unusual disc proves nothing if the disc
lost what makes it so. The film disc's streams and chapters, and what the discs show and sound
like, are checked by the engine tests that play them (subtitle colours, tones, angle pictures, the menus' buttons); the angle block is
also read through libdvdnav, as another player reads it.

usage: check_discs.py menuless-sets DISC
       check_discs.py deep-loop DISC
       check_discs.py first-play-damage SAMPLE_DISC DAMAGED_DISC
       check_discs.py angles DISC
"""
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dvdifo import Disc, command  # noqa: E402
from dvdwalk import Walker  # noqa: E402

failures = []


def check(condition, what, got=None):
    print("%s: %s%s" % ("ok" if condition else "FAIL", what,
                        "" if condition or got is None else " (got %r)" % (got,)), flush=True)
    if not condition:
        failures.append(what)


def commands(rows):
    return [command(c) for c in rows]


def menuless_sets(disc):
    d = Disc(disc)
    check(d.titles == [(1, 1, 2), (2, 1, 2)], "two titles of two chapters, one per title set",
          d.titles)
    check(all(not ts.menus for ts in d.title_sets), "no title set has menus of its own")
    check(all(command(c) == "call vmgm pgc 1"
              for ts in d.title_sets for pgc in ts.titles for c in pgc.post),
          "each title ends by calling the main menu")


def deep_loop(disc):
    d = Disc(disc)
    loop = [pgc for _, pgc in d.menus][2]
    check(loop.cells == 0 and commands(loop.pre) == ["jump vmgm pgc 3"],
          "menu program chain 3 has no picture and jumps to itself")


def first_play_damage(sample, damaged):
    def files(disc):
        return sorted(os.listdir(os.path.join(disc, "VIDEO_TS")))

    def read(disc, name):
        with open(os.path.join(disc, "VIDEO_TS", name), "rb") as f:
            return f.read()
    before, after = read(sample, "VIDEO_TS.IFO"), read(damaged, "VIDEO_TS.IFO")
    changed = [i for i in range(len(before)) if before[i] != after[i]]
    check(len(before) == len(after) and changed and 0x4F4 <= changed[0] and changed[-1] < 0x4FC,
          "VIDEO_TS.IFO differs only in the 8 bytes at 0x4F4", [hex(i) for i in changed])
    check(before[0x4F4:0x4FC] == bytes.fromhex("3002000000010000") and
          after[0x4F4:0x4FC] == bytes.fromhex("20017f00ff636300"),
          "first-play's 'jump title 1' became the broken link")
    check(files(sample) == files(damaged) and all(
        read(sample, n) == read(damaged, n) for n in files(sample) if n.endswith(".BUP")),
        "every other file, the backup VIDEO_TS.BUP included, is the sample disc's")


def frame_codes(rows):
    """The (picture number, angle) of each picture's code strip in rows of 720 grey pixels (the
    row through the strip), None where a picture has none."""
    codes = []
    for at in range(0, len(rows) - 719, 720):
        def bit(box):
            return 1 if rows[at + 40 * box + 20] > 128 else 0
        codes.append((sum(bit(b) << b for b in range(13)), sum(bit(14 + b) << b for b in range(3)))
                     if bit(13) and not bit(17) else None)
    return codes


def strip_rows(source, *options, picture="scale=720:576,crop=720:2:0:552"):
    """The code strip row of each picture ffmpeg decodes from source, its options before it
    and, when the last is bytes, those bytes as its input; `picture` makes each picture two
    rows of 720 pixels through the strip."""
    data = options[-1] if options and isinstance(options[-1], bytes) else None
    args = list(options[:-1] if data is not None else options)
    r = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", *args, "-i", source, "-vf", picture,
                        "-f", "rawvideo", "-pix_fmt", "gray", "-"], input=data,
                       capture_output=True, timeout=120)
    # one row of each picture's two
    return b"".join(r.stdout[i:i + 720] for i in range(0, len(r.stdout) - 1439, 1440))


def runs(codes):
    """The codes as [first, last, angle] runs of pictures numbered one after the other."""
    out = []
    for code in codes:
        if out and code and out[-1][2] == code[1] and out[-1][1] + 1 == code[0]:
            out[-1][1] = code[0]
        else:
            out.append([code[0], code[0], code[1]] if code else [None, None, None])
    return out


def angles(disc):
    d = Disc(disc)
    check(d.titles == [(1, 1, 3)], "one title of three chapters", d.titles)
    vmg = d.read("VIDEO_TS.IFO")
    titles = struct.unpack_from(">I", vmg, 0xC4)[0] * 2048
    check(vmg[titles + 9] == 2, "the title has two angles", vmg[titles + 9])
    title = d.title(1)
    check(title.program_starts == [0, 4, 10] and title.seconds == 14,
          "the title lasts 14 s (one angle counted) with chapters at 0, 4 and 10 s",
          (title.program_starts, title.seconds))
    # libdvdread's own reading of the block, through libdvdnav as a player reads it.
    whole = [[0, 99, 0], [100, 249, 1], [250, 349, 0]]
    w = Walker(disc)
    for angle in (1, 2):
        data, infos = w.play_title(1, angle)
        got = runs(frame_codes(strip_rows("-", "-f", "mpeg", data)))
        check(infos == {(angle, 2)}, "libdvdnav plays title 1 at angle %d of 2" % angle, infos)
        check(got == [[0, 99, 0], [100, 249, angle], [250, 349, 0]],
              "libdvdnav reads angle %d's pictures, and only them, between intro and outro" % angle,
              got)
    # A change of angle in the block takes effect where one interleaved unit ends: the pictures
    # run on without a gap or a repeat.
    data, _ = w.play_title(1, 1, switch=(12, 2))
    got = runs(frame_codes(strip_rows("-", "-f", "mpeg", data)))
    check(len(got) == 4 and got[0] == whole[0] and got[1][:1] + got[1][2:] == [100, 1] and
          got[2][1:] == [249, 2] and got[1][1] + 1 == got[2][0] and got[1][1] < 200 and
          (got[1][1] - 99) % 24 == 0 and got[3] == whole[2],
          "an angle change in the block switches seamlessly at a unit's end", got)
    w.close()


def main():
    kinds = {"menuless-sets": (menuless_sets, 1), "deep-loop": (deep_loop, 1),
             "first-play-damage": (first_play_damage, 2),
             "angles": (angles, 1)}
    if len(sys.argv) < 2 or sys.argv[1] not in kinds or len(sys.argv) != 2 + kinds[sys.argv[1]][1]:
        print(__doc__, file=sys.stderr)
        return 2
    test, _ = kinds[sys.argv[1]]
    try:
        test(*sys.argv[2:])
    except (RuntimeError, AssertionError, OSError) as e:
        check(False, "the check ran to its end", str(e))
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
