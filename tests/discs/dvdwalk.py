"""Plays a DVD-Video folder's titles with libdvdnav, as another player would, in this process
(the test's own, never the player's)."""
import ctypes
import ctypes.util

OK = 1
BLOCK_OK, STILL_FRAME, NAV_PACKET, STOP, WAIT = 0, 2, 7, 8, 13


class Walker:
    def __init__(self, folder):
        lib = ctypes.CDLL(ctypes.util.find_library("dvdnav") or "libdvdnav.so.4")
        self.lib = lib
        for name in ("is_domain_fp", "is_domain_vmgm", "is_domain_vtsm", "is_domain_vts"):
            getattr(lib, "dvdnav_" + name).restype = ctypes.c_int8
        self.nav = ctypes.c_void_p()
        if lib.dvdnav_open(ctypes.byref(self.nav), folder.encode()) != OK:
            raise RuntimeError("libdvdnav cannot open " + folder)
        self.buf = (ctypes.c_uint8 * 2048)()
        self.blocks = 0

    def close(self):
        self.lib.dvdnav_close(self.nav)

    def step(self, may_stop=False):
        event, length = ctypes.c_int32(), ctypes.c_int32()
        if self.lib.dvdnav_get_next_block(self.nav, self.buf, ctypes.byref(event),
                                          ctypes.byref(length)) != OK:
            raise RuntimeError("libdvdnav: reading the next block failed at %s" % (self.place(),))
        self.blocks += 1
        if event.value == WAIT:
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
