// kavelo-dvdprobe PLACE
//
// Reads the structure of the DVD video at PLACE (a drive, a folder holding VIDEO_TS, the
// VIDEO_TS folder or a disc image) and prints it on standard output. Kavelo runs it in a
// process of its own before its player opens a place: a damaged disc that makes libdvdnav or
// libdvdread crash or loop kills this program, not Kavelo. The program therefore calls what
// the player and the menu navigator call on a disc: it opens it, describes every title and
// its chapters and angles, starts every title and reads into it, searches to each cell and
// past the title's end, and calls the menus.
//
// The answer (version 1), one record a line, fields separated by single spaces:
//   kavelo-dvdprobe 1
//   titles COUNT
//   title T VTS TTN CHAPTERS ANGLES LENGTH_TICKS CELLS
//   chapter T C START_TICKS                  one per chapter, C counted from 1
//       (the length and chapter starts from the cell table where it holds together, else as
//       libdvdnav describes the title)
//   cell T N FIRST_SECTOR LAST_SECTOR LENGTH_TICKS STILL CHAPTER ANGLE
//       N counted from 1 in playing order; STILL in seconds, 255 without end; CHAPTER the
//       chapter the cell starts (0: none); ANGLE the cell's place in an angle block (0: none)
//   cellpts T N FIRST_PTS END_PTS              where cell N's picture data's timestamps start
//       and end (from its first and last VOBU), for the cells whose packs say; a cell whose
//       FIRST_PTS is not the END_PTS of the cell before restarts its timestamps
//   menus DOMAIN LANGUAGES PGCS              DOMAIN 0 for the disc's own menus, else the VTS
//   menupgc DOMAIN LANGUAGE PGCN ENTRY CELLS STILL
//   discid HEX                               the disc's identity (libdvdread's disc ID, 32
//       lowercase hexadecimal digits: the same for a disc and a copy of its files); left out
//       when it cannot be read
//   buttons FOLLOW                           1 when every button of the menus opened above led
//       somewhere within its time, else 0 (libdvdnav loops for ever inside one call on a
//       command that jumps to a program chain jumping to itself: each button is tried in a
//       process of its own)
//   end
// Ticks are 90 kHz. A reader skips records it does not know; every record it knows must be
// whole. Exit status: 0 with an answer, 1 when the place holds no readable DVD video, 2 on
// misuse. Nothing but the answer goes to standard output.
#include <dvdnav/dvdnav.h>
#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>
#include <dvdread/nav_read.h>
#include <dvdread/nav_types.h>

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxTitles = 99;
constexpr int kBlocksPerRead = 48;    // data blocks read after each jump
constexpr int kEventsPerRead = 600;   // events of any kind after each jump
constexpr int kSearchesPerTitle = 24; // cell starts searched to, per title
constexpr int kButtonMs = 300;        // a button's time to lead somewhere
constexpr int kMaxButtonTries = 36;   // buttons tried in all

void discardDvdnavLog(void*, dvdnav_logger_level_t, const char*, va_list) {}
void discardDvdreadLog(void*, dvd_logger_level_t, const char*, va_list) {}

struct NavCloser {
    void operator()(dvdnav_t* nav) const { dvdnav_close(nav); }
};
struct ReaderCloser {
    void operator()(dvd_reader_t* reader) const { DVDClose(reader); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};
using Nav = std::unique_ptr<dvdnav_t, NavCloser>;
using Reader = std::unique_ptr<dvd_reader_t, ReaderCloser>;
using Ifo = std::unique_ptr<ifo_handle_t, IfoCloser>;

int bcd(uint8_t value) {
    return (value >> 4) * 10 + (value & 0x0f);
}

// A cell's or program chain's playing time in 90 kHz ticks.
uint64_t ticks(const dvd_time_t& time) {
    const int rate = (time.frame_u >> 6) == 3 ? 30 : 25;
    const uint64_t seconds =
        static_cast<uint64_t>(bcd(time.hour)) * 3600 + bcd(time.minute) * 60 + bcd(time.second);
    const uint64_t frames = static_cast<uint64_t>(bcd(time.frame_u & 0x3f));
    return seconds * 90000 + frames * 90000 / rate;
}

struct Cell {
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t lastVobu = 0;
    int64_t firstPts = -1; // the first picture data's timestamp, -1 unknown
    int64_t lastPts = -1;  // where the last picture data's time ends, -1 unknown
    uint64_t length = 0;
    int still = 0;
    int chapter = 0;
    int angle = 0;
};

struct Title {
    int vts = 0;
    int ttn = 0;
    int angles = 1;
    uint64_t length = 0;
    std::vector<uint64_t> chapterStarts;
    std::vector<Cell> cells;
};

// Reads the dvdnav events after a jump the way a player does: stills and waits are skipped.
// Stops after `blocks` data blocks, at the end of playback or after a bounded number of events.
void readOn(dvdnav_t* nav, int blocks) {
    uint8_t buffer[DVD_VIDEO_LB_LEN];
    for (int events = 0; events < kEventsPerRead && blocks > 0; ++events) {
        int32_t event = DVDNAV_NOP;
        int32_t length = 0;
        if (dvdnav_get_next_block(nav, buffer, &event, &length) != DVDNAV_STATUS_OK)
            return;
        switch (event) {
        case DVDNAV_BLOCK_OK:
            --blocks;
            break;
        case DVDNAV_STOP:
            return;
        case DVDNAV_STILL_FRAME:
            dvdnav_still_skip(nav);
            break;
        case DVDNAV_WAIT:
            dvdnav_wait_skip(nav);
            break;
        case DVDNAV_NAV_PACKET:
            dvdnav_get_current_nav_pci(nav);
            dvdnav_get_current_nav_dsi(nav);
            break;
        case DVDNAV_CELL_CHANGE:
            dvdnav_get_next_still_flag(nav);
            break;
        case DVDNAV_HIGHLIGHT: {
            int32_t button = 0;
            dvdnav_get_current_highlight(nav, &button);
            break;
        }
        case DVDNAV_VTS_CHANGE:
        case DVDNAV_SPU_CLUT_CHANGE:
        case DVDNAV_AUDIO_STREAM_CHANGE:
        case DVDNAV_SPU_STREAM_CHANGE:
        default:
            break;
        }
    }
}

// Activates `button` of the menu on screen in a child process and reads on from where it leads;
// true when the child came back within kButtonMs.
bool buttonFollows(dvdnav_t* nav, int button) {
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        alarm(2); // should the parent be gone
        if (dvdnav_button_select_and_activate(nav, dvdnav_get_current_nav_pci(nav), button) ==
            DVDNAV_STATUS_OK)
            readOn(nav, 8);
        _exit(0);
    }
    int status = 0;
    for (int waited = 0; waited < kButtonMs; waited += 2) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0)
            return false;
        usleep(2000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return false;
}

// What the player asks of a title while it plays it.
void askAsPlayerDoes(dvdnav_t* nav) {
    int32_t title = 0, part = 0, parts = 0;
    if (dvdnav_current_title_info(nav, &title, &part) == DVDNAV_STATUS_OK && title > 0)
        dvdnav_get_number_of_parts(nav, title, &parts);
    uint32_t pos = 0, len = 0;
    dvdnav_get_position(nav, &pos, &len);
    dvdnav_get_current_time(nav);
    dvdnav_get_video_aspect(nav);
    int32_t current = 0, angles = 0;
    dvdnav_get_angle_info(nav, &current, &angles);
    for (uint8_t stream = 0; stream < 8; ++stream) {
        const int8_t logical = dvdnav_get_audio_logical_stream(nav, stream);
        if (logical >= 0)
            dvdnav_audio_stream_to_lang(nav, static_cast<uint8_t>(logical));
    }
    for (uint8_t stream = 0; stream < 32; ++stream) {
        if (dvdnav_get_spu_logical_stream(nav, stream) >= 0)
            dvdnav_spu_stream_to_lang(nav, stream);
    }
}

// The cells of one title in playing order, with the chapter each starts, from the title set's
// part-of-title table and program chains. Empty when the tables do not hold together.
std::vector<Cell> titleCells(ifo_handle_t* vts, int ttn) {
    std::vector<Cell> cells;
    if (!vts || !vts->vts_ptt_srpt || !vts->vts_pgcit || ttn < 1 ||
        ttn > vts->vts_ptt_srpt->nr_of_srpts || !vts->vts_ptt_srpt->title)
        return cells;
    const ttu_t& unit = vts->vts_ptt_srpt->title[ttn - 1];
    if (!unit.ptt)
        return cells;
    for (int part = 0; part < unit.nr_of_ptts; ++part) {
        const int pgcn = unit.ptt[part].pgcn;
        const int pgn = unit.ptt[part].pgn;
        if (pgcn < 1 || pgcn > vts->vts_pgcit->nr_of_pgci_srp || !vts->vts_pgcit->pgci_srp)
            return {};
        const pgc_t* pgc = vts->vts_pgcit->pgci_srp[pgcn - 1].pgc;
        if (!pgc || !pgc->program_map || !pgc->cell_playback || pgn < 1 ||
            pgn > pgc->nr_of_programs)
            return {};
        const int firstCell = pgc->program_map[pgn - 1];
        // The chapter runs to the next chapter's program in the same chain, or to the chain's end.
        int endCell = pgc->nr_of_cells + 1;
        if (part + 1 < unit.nr_of_ptts && unit.ptt[part + 1].pgcn == pgcn &&
            unit.ptt[part + 1].pgn > pgn && unit.ptt[part + 1].pgn <= pgc->nr_of_programs)
            endCell = pgc->program_map[unit.ptt[part + 1].pgn - 1];
        if (firstCell < 1 || firstCell > pgc->nr_of_cells || endCell <= firstCell)
            return {};
        int angle = 0;
        for (int c = firstCell; c < endCell; ++c) {
            const cell_playback_t& playback = pgc->cell_playback[c - 1];
            Cell cell;
            cell.first = playback.first_sector;
            cell.last = playback.last_sector;
            cell.lastVobu = playback.last_vobu_start_sector;
            cell.length = ticks(playback.playback_time);
            cell.still = playback.still_time;
            cell.chapter = c == firstCell ? part + 1 : 0;
            if (playback.block_type == BLOCK_TYPE_ANGLE_BLOCK)
                angle = playback.block_mode == BLOCK_MODE_FIRST_CELL ? 1 : angle + 1;
            else
                angle = 0;
            cell.angle = angle;
            cells.push_back(cell);
        }
    }
    return cells;
}

// libdvdnav counts only the first cell of a title's last chapter; where the cell table holds
// together, the title's length and chapter starts come from it instead.
void timeFromCells(Title& title) {
    if (title.cells.empty())
        return;
    std::vector<uint64_t> starts;
    uint64_t at = 0;
    for (const Cell& cell : title.cells) {
        if (cell.chapter != 0) {
            if (cell.chapter != static_cast<int>(starts.size()) + 1)
                return;
            starts.push_back(at);
        }
        if (cell.angle <= 1)
            at += cell.length;
    }
    if (starts.empty() || starts.front() != 0)
        return;
    title.length = at;
    title.chapterStarts = std::move(starts);
}

// The timestamps where each cell's picture data starts and ends, from the navigation packs
// of its first and last VOBU: they tell whether a cell's time follows on from the one before.
void readCellTimestamps(dvd_reader_t* reader, int vts, std::vector<Cell>& cells) {
    dvd_file_t* file = DVDOpenFile(reader, vts, DVD_READ_TITLE_VOBS);
    if (!file)
        return;
    const auto navPci = [file](uint32_t sector, pci_t& pci) {
        unsigned char block[DVD_VIDEO_LB_LEN];
        if (DVDReadBlocks(file, static_cast<int>(sector), 1, block) != 1)
            return false;
        // A navigation pack: pack header, system header, then the PCI packet (stream 0xbf,
        // substream 0) whose data starts at 0x2d.
        if (block[0x26] != 0 || block[0x27] != 0 || block[0x28] != 1 || block[0x29] != 0xbf ||
            block[0x2c] != 0)
            return false;
        navRead_PCI(&pci, block + 0x2d);
        return true;
    };
    for (Cell& cell : cells) {
        pci_t first{};
        pci_t last{};
        if (cell.lastVobu < cell.first || !navPci(cell.first, first) ||
            !navPci(cell.lastVobu, last))
            continue;
        cell.firstPts = first.pci_gi.vobu_s_ptm;
        cell.lastPts = last.pci_gi.vobu_e_ptm;
    }
    DVDCloseFile(file);
}

void appendMenus(std::string& out, int domain, const pgci_ut_t* table) {
    if (!table || !table->lu) {
        out += "menus " + std::to_string(domain) + " 0 0\n";
        return;
    }
    std::string pgcs;
    int total = 0;
    for (int lu = 0; lu < table->nr_of_lus; ++lu) {
        const pgcit_t* pgcit = table->lu[lu].pgcit;
        if (!pgcit || !pgcit->pgci_srp)
            continue;
        for (int n = 0; n < pgcit->nr_of_pgci_srp; ++n) {
            const pgc_t* pgc = pgcit->pgci_srp[n].pgc;
            pgcs += "menupgc " + std::to_string(domain) + ' ' + std::to_string(lu + 1) + ' ' +
                    std::to_string(n + 1) + ' ' + std::to_string(pgcit->pgci_srp[n].entry_id) +
                    ' ' + std::to_string(pgc ? pgc->nr_of_cells : 0) + ' ' +
                    std::to_string(pgc ? pgc->still_time : 0) + '\n';
            ++total;
        }
    }
    out += "menus " + std::to_string(domain) + ' ' + std::to_string(table->nr_of_lus) + ' ' +
           std::to_string(total) + '\n' + pgcs;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !argv[1][0]) {
        std::fprintf(stderr, "usage: kavelo-dvdprobe PLACE\n");
        return 2;
    }
    // The libraries may print on standard output: only the answer goes to the real one.
    const int answerFd = dup(STDOUT_FILENO);
    if (answerFd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 2;
    const char* place = argv[1];

    const dvdnav_logger_cb navLogger{&discardDvdnavLog};
    dvdnav_t* rawNav = nullptr;
    if (dvdnav_open2(&rawNav, nullptr, &navLogger, place) != DVDNAV_STATUS_OK || !rawNav) {
        if (rawNav)
            dvdnav_close(rawNav);
        return 1;
    }
    const Nav nav(rawNav);
    dvdnav_set_readahead_flag(nav.get(), 1);
    dvdnav_set_PGC_positioning_flag(nav.get(), 1);
    const char* volume = nullptr;
    dvdnav_get_title_string(nav.get(), &volume);

    int32_t count = 0;
    if (dvdnav_get_number_of_titles(nav.get(), &count) != DVDNAV_STATUS_OK || count < 1)
        return 1;
    count = std::min(count, kMaxTitles);

    const dvd_logger_cb readLogger{&discardDvdreadLog};
    const Reader reader(DVDOpen2(nullptr, &readLogger, place));
    if (!reader)
        return 1;
    const Ifo vmg(ifoOpen(reader.get(), 0));
    if (!vmg || !vmg->tt_srpt || !vmg->tt_srpt->title)
        return 1;

    std::vector<Title> titles;
    std::vector<Ifo> titleSets(100);
    for (int32_t t = 1; t <= count; ++t) {
        Title title;
        uint64_t* times = nullptr;
        uint64_t duration = 0;
        const uint32_t described = dvdnav_describe_title_chapters(nav.get(), t, &times, &duration);
        title.length = duration;
        title.chapterStarts.push_back(0);
        if (times) {
            // times[i] is where chapter i + 1 ends, so chapter i + 2 starts there.
            for (uint32_t i = 0; i + 1 < described && i < 999; ++i) {
                if (times[i] < title.chapterStarts.back() || times[i] > duration)
                    break;
                title.chapterStarts.push_back(times[i]);
            }
            std::free(times);
        }
        int32_t parts = 0;
        dvdnav_get_number_of_parts(nav.get(), t, &parts);
        int32_t angles = 1;
        if (dvdnav_get_number_of_angles(nav.get(), t, &angles) == DVDNAV_STATUS_OK)
            title.angles = std::clamp<int32_t>(angles, 1, 9);

        if (t <= vmg->tt_srpt->nr_of_srpts) {
            const title_info_t& info = vmg->tt_srpt->title[t - 1];
            title.vts = info.title_set_nr;
            title.ttn = info.vts_ttn;
            if (title.vts >= 1 && title.vts <= 99) {
                if (!titleSets[title.vts])
                    titleSets[title.vts].reset(ifoOpen(reader.get(), title.vts));
                title.cells = titleCells(titleSets[title.vts].get(), title.ttn);
                readCellTimestamps(reader.get(), title.vts, title.cells);
            }
        }
        timeFromCells(title);
        titles.push_back(std::move(title));
    }

    // Play every title as the player would: from its start, at each cell, and past its end.
    for (int32_t t = 1; t <= count; ++t) {
        const Title& title = titles[static_cast<std::size_t>(t - 1)];
        if (dvdnav_title_play(nav.get(), t) != DVDNAV_STATUS_OK)
            continue;
        readOn(nav.get(), kBlocksPerRead);
        askAsPlayerDoes(nav.get());
        uint64_t at = 0;
        int searches = 0;
        for (const Cell& cell : title.cells) {
            if (searches++ >= kSearchesPerTitle)
                break;
            if (dvdnav_time_search(nav.get(), at) == DVDNAV_STATUS_OK)
                readOn(nav.get(), 4);
            if (cell.angle <= 1)
                at += cell.length;
        }
        if (title.length > 90000 &&
            dvdnav_time_search(nav.get(), title.length - 9000) == DVDNAV_STATUS_OK)
            readOn(nav.get(), 400);
        askAsPlayerDoes(nav.get());
    }
    // The menus the navigator opens, and where their buttons lead.
    bool buttonsFollow = true;
    int buttonTries = 0;
    if (dvdnav_title_play(nav.get(), 1) == DVDNAV_STATUS_OK) {
        for (const DVDMenuID_t menu : {DVD_MENU_Root, DVD_MENU_Title, DVD_MENU_Part}) {
            if (dvdnav_menu_call(nav.get(), menu) == DVDNAV_STATUS_OK) {
                readOn(nav.get(), 8);
                pci_t* pci = dvdnav_get_current_nav_pci(nav.get());
                int32_t button = 0;
                dvdnav_get_current_highlight(nav.get(), &button);
                if (pci && button > 0) {
                    dvdnav_highlight_area_t area{};
                    dvdnav_get_highlight_area(pci, button, 0, &area);
                }
                const int buttons = pci && pci->hli.hl_gi.hli_ss ? pci->hli.hl_gi.btn_ns : 0;
                for (int b = 1; b <= buttons && buttonsFollow; ++b) {
                    if (buttonTries++ < kMaxButtonTries)
                        buttonsFollow = buttonFollows(nav.get(), b);
                }
            }
        }
    }

    std::string out = "kavelo-dvdprobe 1\n";
    out += "titles " + std::to_string(titles.size()) + '\n';
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const Title& title = titles[i];
        const std::string t = std::to_string(i + 1);
        out += "title " + t + ' ' + std::to_string(title.vts) + ' ' + std::to_string(title.ttn) +
               ' ' + std::to_string(title.chapterStarts.size()) + ' ' +
               std::to_string(title.angles) + ' ' + std::to_string(title.length) + ' ' +
               std::to_string(title.cells.size()) + '\n';
        for (std::size_t c = 0; c < title.chapterStarts.size(); ++c)
            out += "chapter " + t + ' ' + std::to_string(c + 1) + ' ' +
                   std::to_string(title.chapterStarts[c]) + '\n';
        for (std::size_t c = 0; c < title.cells.size(); ++c) {
            const Cell& cell = title.cells[c];
            out += "cell " + t + ' ' + std::to_string(c + 1) + ' ' + std::to_string(cell.first) +
                   ' ' + std::to_string(cell.last) + ' ' + std::to_string(cell.length) + ' ' +
                   std::to_string(cell.still) + ' ' + std::to_string(cell.chapter) + ' ' +
                   std::to_string(cell.angle) + '\n';
        }
        for (std::size_t c = 0; c < title.cells.size(); ++c) {
            const Cell& cell = title.cells[c];
            if (cell.firstPts >= 0)
                out += "cellpts " + t + ' ' + std::to_string(c + 1) + ' ' +
                       std::to_string(cell.firstPts) + ' ' + std::to_string(cell.lastPts) + '\n';
        }
    }
    appendMenus(out, 0, vmg->pgci_ut);
    const int titleSetCount = vmg->vmgi_mat ? vmg->vmgi_mat->vmg_nr_of_title_sets : 0;
    for (int v = 1; v < static_cast<int>(titleSets.size()); ++v) {
        if (v > titleSetCount)
            break;
        if (!titleSets[v])
            titleSets[v].reset(ifoOpen(reader.get(), v));
        if (titleSets[v])
            appendMenus(out, v, titleSets[v]->pgci_ut);
    }
    unsigned char discId[16] = {};
    if (DVDDiscID(reader.get(), discId) == 0) {
        constexpr char kHex[] = "0123456789abcdef";
        out += "discid ";
        for (const unsigned char byte : discId) {
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        }
        out += '\n';
    }
    out += "buttons " + std::string(buttonsFollow ? "1" : "0") + '\n';
    out += "end\n";

    const char* data = out.data();
    std::size_t left = out.size();
    while (left > 0) {
        const ssize_t written = write(answerFd, data, left);
        if (written <= 0)
            return 1;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}
