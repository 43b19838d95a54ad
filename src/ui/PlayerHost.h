#pragma once

namespace kavelo {

class IDvdEngine;

// The main window as other windows see it: its engine and its play command.
class IPlayerHost {
public:
    virtual ~IPlayerHost() = default;
    virtual IDvdEngine& engine() = 0;
    virtual void dPlay() noexcept = 0;
};

} // namespace kavelo
