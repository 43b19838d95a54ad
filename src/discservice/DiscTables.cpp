#include "DiscTables.h"

#include <dvdread/dvd_udf.h>
#include <dvdread/ifo_read.h>
#include <dvdread/nav_read.h>
#include <dvdread/nav_types.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

namespace kavelo::discservice {

namespace {

constexpr std::size_t kMaxUnits = 65536; // interleaved units read of one cell
// The unit records of one title stay well inside an answer's bound; a title with more leaves
// its angle cells' sectors unknown.
constexpr std::size_t kMaxUnitBytes = 640 * 1024;

void discardLog(void*, dvd_logger_level_t, const char*, va_list) {}

int bcd(std::uint8_t value) {
    return (value >> 4) * 10 + (value & 0x0f);
}

// A cell's or program chain's playing time in 90 kHz ticks.
std::uint64_t ticks(const dvd_time_t& time) {
    const int rate = (time.frame_u >> 6) == 3 ? 30 : 25;
    const std::uint64_t seconds = static_cast<std::uint64_t>(bcd(time.hour)) * 3600 +
                                  bcd(time.minute) * 60 + bcd(time.second);
    const auto frames = static_cast<std::uint64_t>(bcd(time.frame_u & 0x3f));
    return seconds * 90000 + frames * 90000 / rate;
}

struct Cell {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::uint32_t lastVobu = 0;
    std::int64_t firstPts = -1;
    std::int64_t lastPts = -1;
    std::uint64_t length = 0;
    int still = 0;
    int chapter = 0;
    int angle = 0;
    int vobId = 0;
    int cellId = 0;
    bool interleaved = false;
    // An angle cell's sectors in reading order (its interleaved units), both ends included.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> units;
};

// The cells of one title in playing order, with the chapter each starts, from the title set's
// part-of-title table and program chains. Empty when the tables do not hold together.
std::vector<Cell> titleCells(const ifo_handle_t* vts, int ttn) {
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
        // The chapter runs to the next chapter's program in the same chain, or to its end.
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
            cell.interleaved = playback.interleaved != 0;
            if (pgc->cell_position) {
                cell.vobId = pgc->cell_position[c - 1].vob_id_nr;
                cell.cellId = pgc->cell_position[c - 1].cell_nr;
            }
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

// The chapter starts and length from the cell table; false when it does not hold together.
bool timeFromCells(const std::vector<Cell>& cells, std::vector<std::uint64_t>& starts,
                   std::uint64_t& length) {
    starts.clear();
    std::uint64_t at = 0;
    for (const Cell& cell : cells) {
        if (cell.chapter != 0) {
            if (cell.chapter != static_cast<int>(starts.size()) + 1)
                return false;
            starts.push_back(at);
        }
        if (cell.angle <= 1)
            at += cell.length;
    }
    length = at;
    return !starts.empty() && starts.front() == 0;
}

// The pieces the cell address table gives an angle cell, in sector order: one a unit when the
// cell is interleaved. Empty unless they lie within the cell, one after the other, from its
// first sector to its last.
std::vector<std::pair<std::uint32_t, std::uint32_t>> tablePieces(const c_adt_t* table,
                                                                 const Cell& cell) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pieces;
    if (!table || !table->cell_adr_table || table->last_byte + 1 < C_ADT_SIZE)
        return pieces;
    const std::size_t entries = (table->last_byte + 1 - C_ADT_SIZE) / sizeof(cell_adr_t);
    for (std::size_t i = 0; i < entries && pieces.size() < kMaxUnits; ++i) {
        const cell_adr_t& piece = table->cell_adr_table[i];
        if (piece.vob_id == cell.vobId && piece.cell_id == cell.cellId)
            pieces.emplace_back(piece.start_sector, piece.last_sector);
    }
    std::sort(pieces.begin(), pieces.end());
    if (pieces.empty() || pieces.front().first != cell.first || pieces.back().second != cell.last)
        return {};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].second < pieces[i].first ||
            (i > 0 && pieces[i].first <= pieces[i - 1].second))
            return {};
    }
    return pieces;
}

// An interleaved cell's units followed through its navigation packs: each unit's first pack
// says where the unit ends and where the cell's next unit starts. Empty when they do not hold
// together.
std::vector<std::pair<std::uint32_t, std::uint32_t>> walkedUnits(dvd_file_t* file,
                                                                 const Cell& cell) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> units;
    std::uint64_t at = cell.first;
    while (at <= cell.last && at <= 0x7fffffff && units.size() < kMaxUnits) {
        unsigned char block[DVD_VIDEO_LB_LEN];
        if (DVDReadBlocks(file, static_cast<int>(at), 1, block) != 1 || block[0x400] != 0 ||
            block[0x401] != 0 || block[0x402] != 1 || block[0x403] != 0xbf || block[0x406] != 1)
            return {};
        dsi_t dsi{};
        navRead_DSI(&dsi, block + DSI_START_BYTE);
        if (dsi.dsi_gi.nv_pck_lbn != at || !(dsi.sml_pbi.category & 0x4000))
            return {};
        const std::uint64_t end = at + dsi.sml_pbi.ilvu_ea;
        if (end > cell.last)
            return {};
        units.emplace_back(static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(end));
        const std::uint32_t next = dsi.sml_pbi.ilvu_sa;
        if (end == cell.last || next == 0x7fffffff || (next & 0x80000000) != 0)
            break;
        if (at + next <= end)
            return {};
        at += next;
    }
    if (units.empty() || units.back().second != cell.last)
        return {};
    return units;
}

// The timestamps where each cell's picture data starts and ends, from the navigation packs of
// its first and last VOBU (they tell whether a cell's time follows on from the one before), and
// the sectors of each angle cell.
void readCellData(dvd_reader_t* reader, const ifo_handle_t* set, int vts,
                  std::vector<Cell>& cells) {
    dvd_file_t* file = DVDOpenFile(reader, vts, DVD_READ_TITLE_VOBS);
    if (!file)
        return;
    const auto navPci = [file](std::uint32_t sector, pci_t& pci) {
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
    // The sectors of each angle: the cell address table's pieces, or, where the table holds
    // an interleaved cell whole, its units as its navigation packs link them.
    for (Cell& cell : cells) {
        if (cell.angle == 0)
            continue;
        cell.units = tablePieces(set->vts_c_adt, cell);
        if (cell.interleaved && cell.units.size() <= 1)
            cell.units = walkedUnits(file, cell);
        else if (!cell.interleaved && cell.units.size() != 1)
            cell.units = {{cell.first, cell.last}};
    }
    DVDCloseFile(file);
}

// The program chain a title starts with; nullptr when the tables do not say.
const pgc_t* firstPgc(const ifo_handle_t* vts, int ttn) {
    if (!vts->vts_ptt_srpt || !vts->vts_ptt_srpt->title || ttn < 1 ||
        ttn > vts->vts_ptt_srpt->nr_of_srpts || !vts->vts_pgcit || !vts->vts_pgcit->pgci_srp)
        return nullptr;
    const ttu_t& unit = vts->vts_ptt_srpt->title[ttn - 1];
    if (!unit.ptt || unit.nr_of_ptts < 1)
        return nullptr;
    const int pgcn = unit.ptt[0].pgcn;
    if (pgcn < 1 || pgcn > vts->vts_pgcit->nr_of_pgci_srp)
        return nullptr;
    return vts->vts_pgcit->pgci_srp[pgcn - 1].pgc;
}

// The MPEG stream id carrying each of the title's audio streams, as the disc counts them (its
// audio register): the program chain's stream control names the stream number within its
// coding, whose ids start at 0x80 (AC-3), 0x88 (DTS), 0xa0 (LPCM) or 0xc0 (MPEG audio).
std::string audioRecords(const ifo_handle_t* vts, int ttn, const std::string& t) {
    const pgc_t* pgc = firstPgc(vts, ttn);
    if (!pgc)
        return {};
    std::string out;
    const int streams = std::min<int>(vts->vtsi_mat->nr_of_vts_audio_streams, 8);
    for (int n = 0; n < streams; ++n) {
        const std::uint16_t control = pgc->audio_control[n];
        if (!(control & 0x8000))
            continue;
        int base = 0;
        switch (vts->vtsi_mat->vts_audio_attr[n].audio_format) {
        case 0:
            base = 0x80;
            break;
        case 2:
        case 3:
            base = 0xc0;
            break;
        case 4:
            base = 0xa0;
            break;
        case 6:
            base = 0x88;
            break;
        default:
            continue; // a coding no player knows
        }
        out += "audio " + t + ' ' + std::to_string(n + 1) + ' ' +
               std::to_string(base + ((control >> 8) & 0x07)) + '\n';
    }
    return out;
}

// The colours and subpicture streams of the title's first program chain: its 16-entry colour
// table, and for each logical subpicture stream it has the physical stream shown on the title
// set's picture shape (4:3, or wide for 16:9).
void appendSubpictureRecords(std::string& out, const std::string& t, const ifo_handle_t* vts,
                             int ttn) {
    const pgc_t* pgc = firstPgc(vts, ttn);
    if (!pgc)
        return;
    out += "palette " + t;
    for (const std::uint32_t entry : pgc->palette)
        out += ' ' + std::to_string(entry & 0xffffff);
    out += '\n';
    const bool wide = vts->vtsi_mat->vts_video_attr.display_aspect_ratio == 3;
    for (int logical = 0; logical < 32; ++logical) {
        const std::uint32_t control = pgc->subp_control[logical];
        if ((control & 0x80000000u) == 0)
            continue;
        const std::uint32_t physical = (control >> (wide ? 16 : 24)) & 0x1f;
        out += "subpicture " + t + ' ' + std::to_string(logical) + ' ' + std::to_string(physical) +
               '\n';
    }
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

std::unique_ptr<DiscTables> DiscTables::open(const std::string& place) {
    const dvd_logger_cb logger{&discardLog};
    dvd_reader_t* reader = DVDOpen2(nullptr, &logger, place.c_str());
    if (!reader)
        return nullptr;
    ifo_handle_t* vmg = ifoOpen(reader, 0);
    if (!vmg || !vmg->tt_srpt || !vmg->tt_srpt->title || vmg->tt_srpt->nr_of_srpts < 1) {
        if (vmg)
            ifoClose(vmg);
        DVDClose(reader);
        return nullptr;
    }
    struct stat st {};
    const bool files = ::stat(place.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return std::unique_ptr<DiscTables>(new DiscTables(reader, vmg, files));
}

DiscTables::DiscTables(dvd_reader_t* reader, ifo_handle_t* vmg, bool files)
    : m_reader(reader), m_vmg(vmg), m_files(files) {}

DiscTables::~DiscTables() {
    for (ifo_handle_t* ifo : m_titleSets) {
        if (ifo)
            ifoClose(ifo);
    }
    ifoClose(m_vmg);
    DVDClose(m_reader);
}

DvdFile DiscTables::openTitleVobs(int vts) {
    const int sets = m_vmg->vmgi_mat ? m_vmg->vmgi_mat->vmg_nr_of_title_sets : 0;
    if (vts < 1 || vts > std::min(sets, 99))
        return nullptr;
    return DvdFile(DVDOpenFile(m_reader, vts, DVD_READ_TITLE_VOBS));
}

int DiscTables::titleCount() const {
    return std::min<int>(m_vmg->tt_srpt->nr_of_srpts, 99);
}

std::string DiscTables::discId() {
    unsigned char id[16] = {};
    if (DVDDiscID(m_reader, id) != 0)
        return {};
    std::string hex;
    for (const unsigned char byte : id) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    return hex;
}

ifo_handle_t* DiscTables::titleSet(int vts) {
    if (vts < 1 || vts > 99)
        return nullptr;
    const auto at = static_cast<std::size_t>(vts);
    if (!m_titleSetTried[at]) {
        m_titleSetTried[at] = true;
        m_titleSets[at] = ifoOpen(m_reader, vts);
    }
    return m_titleSets[at];
}

std::optional<std::string> DiscTables::titleRecords(int number) {
    if (number < 1 || number > titleCount())
        return std::nullopt;
    const title_info_t& info = m_vmg->tt_srpt->title[number - 1];
    const int vts = info.title_set_nr;
    const int ttn = info.vts_ttn;
    ifo_handle_t* set = titleSet(vts);
    if (!set || !set->vtsi_mat)
        return std::nullopt;
    std::vector<Cell> cells = titleCells(set, ttn);
    std::vector<std::uint64_t> starts;
    std::uint64_t length = 0;
    if (cells.empty() || !timeFromCells(cells, starts, length)) {
        // Without a cell table that holds together the title is one chapter as long as its
        // first program chain says.
        cells.clear();
        starts = {0};
        length = 0;
        if (set->vts_ptt_srpt && set->vts_ptt_srpt->title && ttn >= 1 &&
            ttn <= set->vts_ptt_srpt->nr_of_srpts && set->vts_pgcit && set->vts_pgcit->pgci_srp &&
            set->vts_ptt_srpt->title[ttn - 1].ptt &&
            set->vts_ptt_srpt->title[ttn - 1].nr_of_ptts > 0) {
            const int pgcn = set->vts_ptt_srpt->title[ttn - 1].ptt[0].pgcn;
            if (pgcn >= 1 && pgcn <= set->vts_pgcit->nr_of_pgci_srp &&
                set->vts_pgcit->pgci_srp[pgcn - 1].pgc)
                length = ticks(set->vts_pgcit->pgci_srp[pgcn - 1].pgc->playback_time);
        }
        if (length == 0)
            return std::nullopt;
    }
    readCellData(m_reader, set, vts, cells);
    std::uint32_t vobStart = 0;
    if (!m_files) {
        char name[32];
        std::snprintf(name, sizeof name, "/VIDEO_TS/VTS_%02d_1.VOB", vts);
        std::uint32_t size = 0;
        vobStart = UDFFindFile(m_reader, name, &size);
    }
    const int angles = std::clamp<int>(info.nr_of_angles, 1, 9);
    const std::string t = std::to_string(number);
    std::string out = "title " + t + ' ' + std::to_string(vts) + ' ' + std::to_string(ttn) + ' ' +
                      std::to_string(starts.size()) + ' ' + std::to_string(angles) + ' ' +
                      std::to_string(length) + ' ' + std::to_string(cells.size()) + ' ' +
                      std::to_string(set->vtsi_mat->nr_of_vts_subp_streams) + ' ' +
                      std::to_string(vobStart) + '\n';
    for (std::size_t c = 0; c < starts.size(); ++c)
        out +=
            "chapter " + t + ' ' + std::to_string(c + 1) + ' ' + std::to_string(starts[c]) + '\n';
    for (std::size_t c = 0; c < cells.size(); ++c) {
        const Cell& cell = cells[c];
        out += "cell " + t + ' ' + std::to_string(c + 1) + ' ' + std::to_string(cell.first) + ' ' +
               std::to_string(cell.last) + ' ' + std::to_string(cell.length) + ' ' +
               std::to_string(cell.still) + ' ' + std::to_string(cell.chapter) + ' ' +
               std::to_string(cell.angle) + '\n';
    }
    appendSubpictureRecords(out, t, set, ttn);
    std::string units;
    for (std::size_t c = 0; c < cells.size() && units.size() <= kMaxUnitBytes; ++c) {
        for (const auto& [first, last] : cells[c].units)
            units += "unit " + t + ' ' + std::to_string(c + 1) + ' ' + std::to_string(first) + ' ' +
                     std::to_string(last) + '\n';
    }
    if (units.size() <= kMaxUnitBytes)
        out += units;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        const Cell& cell = cells[c];
        if (cell.firstPts >= 0)
            out += "cellpts " + t + ' ' + std::to_string(c + 1) + ' ' +
                   std::to_string(cell.firstPts) + ' ' + std::to_string(cell.lastPts) + '\n';
    }
    out += audioRecords(set, ttn, t);
    return out;
}

std::string DiscTables::menuRecords() {
    std::string out;
    appendMenus(out, 0, m_vmg->pgci_ut);
    const int sets = m_vmg->vmgi_mat ? std::min<int>(m_vmg->vmgi_mat->vmg_nr_of_title_sets, 99) : 0;
    for (int v = 1; v <= sets; ++v) {
        if (ifo_handle_t* set = titleSet(v))
            appendMenus(out, v, set->pgci_ut);
    }
    return out;
}

} // namespace kavelo::discservice
