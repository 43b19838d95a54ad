#pragma once

#include <QString>

namespace kavelo {

// Starts another program by its path, without a shell and without waiting for it.
class IProgramStarter {
public:
    virtual ~IProgramStarter() = default;
    // True when the program was started.
    virtual bool start(const QString& program) = 0;
};

class DetachedProgramStarter final : public IProgramStarter {
public:
    bool start(const QString& program) override;
};

} // namespace kavelo
