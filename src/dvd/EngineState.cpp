#include "EngineState.h"

namespace kavelo {

const char* stateName(EngineState state) noexcept {
    switch (state) {
    case EngineState::Idle:
        return "idle";
    case EngineState::Loading:
        return "loading";
    case EngineState::Playing:
        return "playing";
    case EngineState::Paused:
        return "paused";
    case EngineState::Still:
        return "still";
    case EngineState::TitleEnd:
        return "title end";
    case EngineState::ScanForwards:
        return "scan forwards";
    case EngineState::ScanBackwards:
        return "scan backwards";
    case EngineState::Menu:
        return "menu";
    case EngineState::DiscEnded:
        return "disc ended";
    }
    return "?";
}

} // namespace kavelo
