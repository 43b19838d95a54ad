#!/usr/bin/env python3
"""Checks that the test discs the authoring scripts make are what the scripts say they are,
with tools outside the player: the discs' own tables, libdvdnav walking their program in this
process (pressing buttons, playing titles to their end), ffprobe and ffmpeg on the picture
files, and mpv playing them.

usage: check_discs.py menuless-sets DISC
       check_discs.py deep-loop DISC
       check_discs.py first-play-damage SAMPLE_DISC DAMAGED_DISC DAMAGE_SCRIPT
       check_discs.py film DISC
       check_discs.py angles DISC
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dvdifo import Disc, command, menu_buttons  # noqa: E402
from dvdwalk import Walker  # noqa: E402

failures = []


def check(condition, what, got=None):
    print("%s: %s%s" % ("ok" if condition else "FAIL", what,
                        "" if condition or got is None else " (got %r)" % (got,)), flush=True)
    if not condition:
        failures.append(what)


def run(args, timeout=120):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout,
                          stdin=subprocess.DEVNULL)


def mpv(disc, title, *options):
    """mpv's output playing a title (from 1) of the disc for a moment, or None if it failed."""
    r = run(["mpv", "--no-config", "--ao=null", "--frames=10", "--dvd-device=" + disc,
             *options, "dvd://%d" % (title - 1)])
    return r.stdout + r.stderr if r.returncode == 0 and "VO: [" in r.stdout + r.stderr else None


def check_mpv_plays(disc, titles):
    for t in titles:
        check(mpv(disc, t, "--vo=null") is not None, "mpv plays title %d" % t)


def commands(buttons):
    return [command(b[4]) for b in buttons]


def menuless_sets(disc):
    d = Disc(disc)
    check(d.titles == [(1, 1, 2), (2, 1, 2)], "two titles of two chapters, one per title set",
          d.titles)
    check(all(not ts.menus for ts in d.title_sets), "no title set has menus of its own")
    check(all(commands([(0, 0, 0, 0, c)]) == ["call vmgm pgc 1"]
              for ts in d.title_sets for pgc in ts.titles for c in pgc.post),
          "each title ends by calling the main menu")
    w = Walker(disc)
    domain, buttons = w.menu()
    check(domain == "vmgm" and [b[:4] for b in buttons] == [(100, 200, 560, 256),
                                                            (100, 300, 560, 356)],
          "first-play shows the main menu's two buttons where the script says", buttons)
    for button in (2, 1):
        w.press(button)
        check(w.title() == (button, 1), "main menu button %d plays title %d" % (button, button))
        check(w.menu()[0] == "vmgm", "the main menu is back after title %d" % button)
    w.close()
    check_mpv_plays(disc, (1, 2))


def deep_loop(disc):
    d = Disc(disc)
    loop = [pgc for _, pgc in d.menus][2]
    check(loop.cells == 0 and commands([(0, 0, 0, 0, c)
                                        for c in loop.pre]) == ["jump vmgm pgc 3"],
          "menu program chain 3 has no picture and jumps to itself")
    w = Walker(disc)
    main = ["jump title 1", "jump vmgm pgc 2"]
    check(commands(w.menu()[1]) == main, "first-play shows the main menu")
    w.press(2)
    check(commands(w.menu()[1]) == ["jump vmgm pgc 3", "jump vmgm pgc 1"],
          "main menu button 2 shows menu 2, whose button 1 leads to the looping chain")
    w.press(2)
    check(commands(w.menu()[1]) == main, "menu 2 button 2 shows the main menu again")
    w.press(1)
    check(w.title() == (1, 1), "main menu button 1 plays title 1")
    check(w.menu()[0] == "vmgm", "the main menu is back after title 1")
    w.close()
    check_mpv_plays(disc, (1, 2))


def first_play_damage(sample, damaged, script):
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
        read(sample, n) == read(damaged, n) for n in files(sample) if n.endswith(".BUP")) and all(
        os.path.getsize(os.path.join(sample, "VIDEO_TS", n)) ==
        os.path.getsize(os.path.join(damaged, "VIDEO_TS", n)) for n in files(sample)),
        "every other file, the backup VIDEO_TS.BUP included, is the sample disc's")
    check_mpv_plays(damaged, (1,))

    pgc = struct.unpack_from(">I", before, 0x84)[0]
    table = pgc + struct.unpack_from(">H", before, pgc + 0xE4)[0]
    bad = {"first-play chain beyond the file": (0x84, ">I", len(before) + 0x800),
           "command table beyond the file": (pgc + 0xE4, ">H", 0xFFF0),
           "no pre-command": (table, ">H", 0)}
    with tempfile.TemporaryDirectory() as tmp:
        for what, (at, form, value) in bad.items():
            ifo = bytearray(before)
            struct.pack_into(form, ifo, at, value)
            disc = os.path.join(tmp, "disc")
            shutil.rmtree(disc, ignore_errors=True)
            os.makedirs(os.path.join(disc, "VIDEO_TS"))
            with open(os.path.join(disc, "VIDEO_TS", "VIDEO_TS.IFO"), "wb") as f:
                f.write(ifo)
            out = os.path.join(tmp, "out")
            r = run([sys.executable, script, disc, out])
            check(r.returncode != 0 and r.stderr.strip() and not os.path.exists(out),
                  "the damage script refuses a disc with " + what, (r.returncode, r.stderr))


def tone(vob, stream, start):
    """The frequency in Hz of an audio stream's second from start, by its zero crossings."""
    r = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-ss", str(start), "-i", vob,
                        "-map", "0:a:%d" % stream, "-t", "1", "-ac", "1", "-f", "s16le", "-"],
                       capture_output=True, timeout=60)
    samples = struct.unpack("<%dh" % (len(r.stdout) // 2), r.stdout[:len(r.stdout) // 2 * 2])
    crossings = sum(1 for a, b in zip(samples, samples[1:]) if (a < 0) != (b < 0))
    return crossings / 2 / max(1, len(samples)) * 48000


def subtitle_colour(disc, sid):
    """(yellow, cyan) pixel counts in the subtitle area of mpv's picture 13 s into the film."""
    with tempfile.TemporaryDirectory() as tmp:
        r = run(["mpv", "--no-config", "--ao=null", "--vo=image", "--vo-image-format=png",
                 "--vo-image-outdir=" + tmp, "--start=13", "--frames=1", "--sid=%d" % sid,
                 "--dvd-device=" + disc, "dvd://0"])
        shots = sorted(os.listdir(tmp))
        if r.returncode != 0 or not shots:
            return (0, 0)
        raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i",
                              os.path.join(tmp, shots[0]), "-vf", "crop=400:64:160:476", "-f",
                              "rawvideo", "-pix_fmt", "rgb24", "-"], capture_output=True).stdout
    pixels = [raw[i:i + 3] for i in range(0, len(raw) - 2, 3)]
    return (sum(1 for r, g, b in pixels if r > 180 and g > 180 and b < 90),
            sum(1 for r, g, b in pixels if r < 90 and g > 150 and b > 180))


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
    vob = os.path.join(disc, "VIDEO_TS", "VTS_01_1.VOB")
    r = run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0",
             vob])
    kinds = r.stdout.split()
    check(kinds.count("ac3") == 2 and kinds.count("dvd_subtitle") == 2,
          "the film's pictures file holds two AC-3 and two subtitle streams", kinds)
    low, high = tone(vob, 0, 20), tone(vob, 1, 20)
    check(abs(low - 350) < 15 and abs(high - 1100) < 25,
          "chapter 2 sounds at 350 Hz on audio stream 1 and 1100 Hz on stream 2", (low, high))
    yellow, cyan = subtitle_colour(disc, 1), subtitle_colour(disc, 2)
    check(yellow[0] > 300 and yellow[1] == 0 and cyan[1] > 300 and cyan[0] == 0,
          "mpv shows subtitle stream 1 yellow and stream 2 cyan", (yellow, cyan))
    out = mpv(disc, 1, "--vo=null") or ""
    check("--aid=2" in out and "--sid=2" in out, "mpv offers the film's two audio and two "
          "subtitle streams")

    w = Walker(disc)
    check(w.title() == (2, 1), "first-play plays the warning (title 2)")
    domain, buttons = w.menu()
    check(domain == "vmgm" and [b[:4] for b in buttons] ==
          [(100, 24 + 72 * n, 620, 76 + 72 * n) for n in range(1, 5)],
          "after the warning the main menu shows four buttons where the script says", buttons)

    def languages(*presses):
        w.press(3)
        for button in presses + (6,):
            check(w.menu()[0] == "vtsm", "the languages menu shows before button %d" % button)
            w.press(button)
        w.menu()
        w.press(1)
        return w.title()
    check(languages(2, 4) == (1, 1) and w.streams() == (1, 1),
          "Audio 2 and Sub B, then Play: the film plays audio 2 and subtitles B", w.streams())
    w.chapter(2)
    w.menu_key()
    check(w.menu()[0] == "vmgm", "the menu key in the film shows the main menu")
    w.resume()
    check(w.title() == (1, 2), "resume from the main menu returns to the film's chapter 2")
    w.menu_key()
    w.menu()
    w.press(2)
    domain, buttons = w.menu()
    check(domain == "vtsm" and commands(buttons) == ["jump title 1 chapter %d" % n
                                                     for n in range(1, 5)] + ["jump vmgm pgc 1"],
          "Chapters shows the chapter menu of title set 1", commands(buttons))
    w.press(3)
    check(w.title() == (1, 3), "chapter button 3 plays the film from chapter 3")
    check(w.menu()[0] == "vmgm", "the main menu is back at the film's end")
    check(languages(1, 5) == (1, 1) and w.streams()[0] == 0 and w.streams()[1] < 0,
          "Audio 1 and Sub off, then Play: the film plays audio 1 and no subtitles",
          w.streams())
    w.menu_key()
    w.menu()
    w.press(4)
    check(w.title() == (3, 1) and w.title(leaving=3) == (4, 1),
          "Extras plays title 3, then title 4")
    check(w.menu()[0] == "vmgm", "the main menu is back after the extras")
    w.close()


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


def mpv_codes(disc, angle, frames):
    """The codes of the first pictures mpv shows of title 1 at an angle."""
    with tempfile.TemporaryDirectory() as tmp:
        run(["mpv", "--no-config", "--ao=null", "--vo=image", "--vo-image-format=png",
             "--vo-image-outdir=" + tmp, "--vf=crop=720:2:0:552", "--frames=%d" % frames,
             "--dvd-angle=%d" % angle, "--dvd-device=" + disc, "dvd://0"])
        return frame_codes(strip_rows(os.path.join(tmp, "%08d.png"), "-f", "image2",
                                      picture="scale=720:2"))


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
    for angle in (1, 2):
        got = runs(mpv_codes(disc, angle, 130))
        check(got == [[0, 99, 0], [100, 129, angle]], "mpv plays angle %d from the start" % angle,
              got)


def main():
    kinds = {"menuless-sets": (menuless_sets, 1), "deep-loop": (deep_loop, 1),
             "first-play-damage": (first_play_damage, 3), "film": (film, 1),
             "angles": (angles, 1)}
    if len(sys.argv) < 2 or sys.argv[1] not in kinds or len(sys.argv) != 2 + kinds[sys.argv[1]][1]:
        print(__doc__, file=sys.stderr)
        return 2
    test, _ = kinds[sys.argv[1]]
    try:
        test(*sys.argv[2:])
    except (RuntimeError, AssertionError, OSError, subprocess.TimeoutExpired) as e:
        check(False, "the check ran to its end", str(e))
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
