#pragma once

// The disc service's protocol, shared by the service program and its client in Kavelo.
//
// The client writes one request a line on the service's standard input:
//   SEQ VERB [ARG...]\n              printable ASCII, at most kMaxRequestBytes
// and the service answers each with a header line and a payload on its standard output:
//   SEQ ok|no BYTES\n                at most kMaxHeaderBytes, BYTES at most kMaxPayloadBytes
// followed by exactly BYTES bytes. SEQ counts requests from 1; an answer whose SEQ is not the
// request's, a header or payload out of bounds or a payload that does not parse means the
// service is broken: the client kills it. "no" answers carry what the service could not do.
//
// Verbs (version kVersion):
//   hello                  -> "kavelo-dvdnav VERSION\n"
//   open PLACE_HEX         -> "disc TITLES DISCID_HEX\n" | no: no DVD video there
//   title T                -> the records of title T (see DiscTables.h) | no: unreadable
//   menus                  -> the menu records of the disc's and every title set's menus
//   vm-start               -> the machine opened at the disc's first-play program; MACHINE
//   next MAXBYTES          -> events (below), then MACHINE; stops at a still, a wait, the end,
//                             an error, MAXBYTES of blocks or kBatchMs of reading
//   still-skip | wait-skip -> MACHINE
//   select B | move up|down|left|right | point X Y | activate        -> MACHINE | no
//   chain-end | time TICKS | menu root|title | play-title T          -> MACHINE | no
//   highlight B 0|1        -> "area SX SY EX EY PALETTE\n" | no
//   resume                 -> MACHINE | no: from a menu back to where the menu was called
//   regs                   -> "r AUDIO SUBPICTURE ANGLE G0 .. G15\n" | no: not in a title
//   set-regs AUDIO SUBPICTURE ANGLE G0 .. G15                       -> MACHINE | no
//   vob-open VTS           -> "vob SECTORS\n": title set VTS's VOB files, read from now on as
//                             one run of SECTORS sectors (decrypted on a scrambled disc when
//                             libdvdcss is there) | no: the title set has none
//   read FIRST COUNT       -> COUNT (1..kMaxReadSectors) sectors of those files from FIRST,
//                             fewer at their end, none past it | no: a read error, none open
//   quit                   -> the service ends
// MACHINE is the machine's state after the request:
//   s DOMAIN TITLESET TITLE CHAPTER PGC TICKS AUDIO SUBPICTURE ANGLE\n
//   b BUTTONS SELECTED\n
// DOMAIN is one of f (first play), m (disc menu), v (title set menu), t (title), x (stopped);
// TICKS the 90 kHz time into the playing program chain; AUDIO -1 when none; SUBPICTURE the
// title's subpicture register (the logical stream, plus 64 when it is shown), -1 when none.
// An event is "e KIND VALUE LEN\n" and LEN raw bytes (a block: 2048; a palette: 64, sixteen
// little-endian 32-bit entries), each but a block's followed by an "s" line. KIND is one of
// blk nav still wait cell vts pal spu jump stop err.

#include <cstddef>

namespace kavelo::discproto {

constexpr int kVersion = 4;
constexpr const char* kProgramName = "kavelo-dvdnav";
constexpr std::size_t kMaxRequestBytes = 1024;
constexpr std::size_t kMaxHeaderBytes = 64;
constexpr std::size_t kMaxPayloadBytes = std::size_t(1) << 20;
constexpr std::size_t kBlockBytes = 2048;
constexpr std::size_t kMaxReadSectors = kMaxPayloadBytes / kBlockBytes; // one answer to "read"
constexpr std::size_t kBatchBytes = 256 * 1024; // blocks in one answer to "next"
constexpr int kBatchMs = 150;                   // reading time of one answer to "next"
constexpr int kBatchEvents = 4096;

// A test hook: KAVELO_DVDNAV_FAULT=VERB:MODE makes the service fail on every request VERB,
// MODE being hang (it sleeps), crash (it dies), garbage (it answers nonsense) or slow (it says
// "busy" for 1.5 s before it answers, as a drive spinning up).
constexpr const char* kFaultVariable = "KAVELO_DVDNAV_FAULT";

} // namespace kavelo::discproto
