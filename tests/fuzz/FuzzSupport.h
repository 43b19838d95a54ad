#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// A fuzz target's checks abort with a message, so that libFuzzer keeps the input that broke one.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace kavelo::fuzz {

// A folder for the target's files for the whole run, in memory where the system has it
// (writes there are not flushed to a disc, so each input is fast).
inline QString scratchFolder(QTemporaryDir*& holder) {
    if (!holder) {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        holder = new QTemporaryDir(base + QStringLiteral("/kavelo-fuzz-XXXXXX"));
        if (!holder->isValid())
            std::abort();
    }
    return holder->path();
}

} // namespace kavelo::fuzz
