#!/usr/bin/env python3
"""Checks that the test discs the authoring scripts make carry, in their own tables, the shape
the engine tests rely on: a test that meets a broken or unusual disc proves nothing if the disc
lost what makes it so. What the discs show and sound like is checked by the engine tests that
play them (subtitle colours, tones, angle pictures, the menus' buttons).

usage: check_discs.py menuless-sets DISC
       check_discs.py deep-loop DISC
       check_discs.py first-play-damage SAMPLE_DISC DAMAGED_DISC
       check_discs.py film DISC
       check_discs.py angles DISC
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dvdifo import Disc, command  # noqa: E402

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


def film(disc):
    d = Disc(disc)
    check(d.titles == [(1, 1, 4), (1, 2, 1), (2, 1, 1), (2, 2, 1)],
          "film (4 chapters) and warning in title set 1, two extras in title set 2", d.titles)
    movie = d.title(1)
    check(movie.program_starts == [0, 15, 30, 45] and movie.seconds == 60,
          "the film lasts 60 s with chapters at 0, 15, 30 and 45 s",
          (movie.program_starts, movie.seconds))
    film_set = d.title_sets[0]
    check((film_set.audio_streams, film_set.audio_languages, film_set.subtitle_streams) ==
          (2, ["en", "fr"], 2), "title set 1 declares two audio and two subtitle streams")
    check(not d.title_sets[1].menus, "the extras' title set has no menus")


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


def main():
    kinds = {"menuless-sets": (menuless_sets, 1), "deep-loop": (deep_loop, 1),
             "first-play-damage": (first_play_damage, 2), "film": (film, 1),
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
