#pragma once

#include "DvdEngine.h"

namespace kavelo {

// What the DVD engine is doing. Exactly one holds at a time; the engine moves between them
// through one transition function that runs the exit and entry actions and logs the move.
enum class EngineState {
    Idle,          // nothing loaded: at start, after Stop, or when the disc went away
    Loading,       // a title or a menu is being opened
    Playing,       // a title plays at its own speed
    Paused,        // a title is paused by the viewer
    Still,         // a cell's last picture holds for its still time
    TitleEnd,      // a title's last picture holds; the disc's program decides what follows
    ScanForwards,  // a fast scan forwards
    ScanBackwards, // a fast scan backwards: a chain of seeks to ever earlier pictures
    Menu,          // a piece of a disc menu shows; title commands fail
    DiscEnded,     // the disc's program ended on a title's last picture; Play starts it again
};

const char* stateName(EngineState state) noexcept;

// Whether a title is loaded in `state`: its title, chapter, times and angles can be read.
constexpr bool titleLoaded(EngineState state) noexcept {
    switch (state) {
    case EngineState::Playing:
    case EngineState::Paused:
    case EngineState::Still:
    case EngineState::TitleEnd:
    case EngineState::ScanForwards:
    case EngineState::ScanBackwards:
    case EngineState::DiscEnded:
        return true;
    case EngineState::Idle:
    case EngineState::Loading:
    case EngineState::Menu:
        return false;
    }
    return false;
}

constexpr bool scanning(EngineState state) noexcept {
    return state == EngineState::ScanForwards || state == EngineState::ScanBackwards;
}

// The state as the desktop sees it: a scan plays, a held picture is paused, a menu plays unless
// the viewer paused it (a looping menu moves; a still menu holds its picture and counts as
// paused).
constexpr DvdPlayState playStateOf(EngineState state, bool menuMoving) noexcept {
    switch (state) {
    case EngineState::Playing:
    case EngineState::ScanForwards:
    case EngineState::ScanBackwards:
        return DvdPlayState::Playing;
    case EngineState::Menu:
        return menuMoving ? DvdPlayState::Playing : DvdPlayState::Paused;
    case EngineState::Paused:
    case EngineState::Still:
    case EngineState::TitleEnd:
    case EngineState::DiscEnded:
        return DvdPlayState::Paused;
    case EngineState::Idle:
    case EngineState::Loading:
        return DvdPlayState::Stopped;
    }
    return DvdPlayState::Stopped;
}

} // namespace kavelo
