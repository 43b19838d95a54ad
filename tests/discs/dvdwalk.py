"""Walks a DVD-Video folder's program with libdvdnav, as a player would, in this process (the
test's own, never the player's): presses menu buttons, plays titles to their end, and says
where the disc's program went."""
import ctypes
import ctypes.util

from dvdifo import pack_buttons

OK = 1
BLOCK_OK, STILL_FRAME, NAV_PACKET, STOP, WAIT = 0, 2, 7, 8, 13
MENU_ESCAPE, MENU_ROOT = 0, 3


class Walker:
    def __init__(self, folder):
        lib = ctypes.CDLL(ctypes.util.find_library("dvdnav") or "libdvdnav.so.4")
        self.lib = lib
        lib.dvdnav_get_current_nav_pci.restype = ctypes.c_void_p
        for name in ("get_active_audio_stream", "get_active_spu_stream", "is_domain_fp",
                     "is_domain_vmgm", "is_domain_vtsm", "is_domain_vts"):
            getattr(lib, "dvdnav_" + name).restype = ctypes.c_int8
        self.nav = ctypes.c_void_p()
        if lib.dvdnav_open(ctypes.byref(self.nav), folder.encode()) != OK:
            raise RuntimeError("libdvdnav cannot open " + folder)
        self.buf = (ctypes.c_uint8 * 2048)()
        self.pack = b""
        self.blocks = 0

    def close(self):
        self.lib.dvdnav_close(self.nav)

    def step(self, may_stop=False):
        event, length = ctypes.c_int32(), ctypes.c_int32()
        if self.lib.dvdnav_get_next_block(self.nav, self.buf, ctypes.byref(event),
                                          ctypes.byref(length)) != OK:
            raise RuntimeError("libdvdnav: reading the next block failed at %s" % (self.place(),))
        self.blocks += 1
        if event.value == NAV_PACKET:
            self.pack = bytes(self.buf)
        elif event.value == WAIT:
            self.lib.dvdnav_wait_skip(self.nav)
        elif event.value == STOP and not may_stop:
            raise RuntimeError("the disc's program stopped at %s" % (self.place(),))
        return event.value

    def place(self):
        """("fp" | "vmgm" | "vtsm" | "vts", title, chapter); title and chapter only in a title."""
        title, part = ctypes.c_int32(), ctypes.c_int32()
        self.lib.dvdnav_current_title_info(self.nav, ctypes.byref(title), ctypes.byref(part))
        for domain in ("fp", "vmgm", "vtsm", "vts"):
            if getattr(self.lib, "dvdnav_is_domain_" + domain)(self.nav):
                return (domain, title.value, part.value) if domain == "vts" else (domain, 0, 0)
        return ("none", 0, 0)

    def menu(self, limit=20000):
        """Plays on to the next menu held for ever (a still in a menu domain): its place and its
        buttons [(x0, y0, x1, y1, command)]."""
        for _ in range(limit):
            if self.step() == STILL_FRAME:
                if self.place()[0] in ("vmgm", "vtsm"):
                    return self.place()[0], pack_buttons(self.pack)
                self.lib.dvdnav_still_skip(self.nav)
        raise RuntimeError("no menu within %d blocks, at %s" % (limit, self.place()))

    def title(self, leaving=0, limit=20000):
        """Plays on until a title other than title leaving plays: (title, chapter)."""
        def playing():
            domain, title, _ = self.place()
            return domain == "vts" and title > 0 and title != leaving
        self.until(playing, "a title other than %d" % leaving, limit)
        return self.place()[1:]

    def chapter(self, chapter, limit=20000):
        """Plays on until the title's chapter plays."""
        self.until(lambda: self.place()[0] == "vts" and self.place()[2] == chapter,
                   "chapter %d" % chapter, limit)

    def until(self, condition, what, limit):
        for _ in range(limit):
            self.step()
            if condition():
                return
        raise RuntimeError("no %s within %d blocks, at %s" % (what, limit, self.place()))

    def press(self, button):
        pci = self.lib.dvdnav_get_current_nav_pci(self.nav)
        if self.lib.dvdnav_button_select_and_activate(self.nav, ctypes.c_void_p(pci), button) != OK:
            raise RuntimeError("button %d cannot be activated at %s" % (button, self.place()))

    def menu_key(self, menu=MENU_ROOT):
        if self.lib.dvdnav_menu_call(self.nav, menu) != OK:
            raise RuntimeError("no menu %d at %s" % (menu, self.place()))

    def resume(self):
        """Leaves the menu for the title it was called from, as the disc's resume does."""
        self.menu_key(MENU_ESCAPE)

    def streams(self):
        """(audio stream, subtitle stream) libdvdnav plays, from 0; -1 when none."""
        return (self.lib.dvdnav_get_active_audio_stream(self.nav),
                self.lib.dvdnav_get_active_spu_stream(self.nav))

    def angles(self):
        """(current angle, angles) libdvdnav gives for the title playing."""
        current, count = ctypes.c_int32(), ctypes.c_int32()
        self.lib.dvdnav_get_angle_info(self.nav, ctypes.byref(current), ctypes.byref(count))
        return current.value, count.value

    def play_title(self, title, angle, switch=None, limit=100000):
        """The picture data libdvdnav reads playing title from its start at angle to its end,
        and the (current, count) angle infos it gave on the way; switch (navigation packs,
        angle) changes the angle after that many navigation packs."""
        if self.lib.dvdnav_title_play(self.nav, title) != OK:
            raise RuntimeError("libdvdnav cannot play title %d" % title)
        if self.lib.dvdnav_angle_change(self.nav, angle) != OK:
            raise RuntimeError("libdvdnav cannot change to angle %d" % angle)
        data, infos, packs = bytearray(), set(), 0
        for _ in range(limit):
            event = self.step(may_stop=bool(data))
            if event == BLOCK_OK:
                data += bytes(self.buf)
            elif event == NAV_PACKET:
                packs += 1
                infos.add(self.angles())
                if switch and packs == switch[0]:
                    self.lib.dvdnav_angle_change(self.nav, switch[1])
            elif event == STILL_FRAME:
                self.lib.dvdnav_still_skip(self.nav)
            if data and (event == STOP or self.place()[0] != "vts"):
                return bytes(data), infos
        raise RuntimeError("title %d did not end within %d blocks" % (title, limit))
