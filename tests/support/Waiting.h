#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

namespace kavelo::test {

// Turns the event loop until `done` holds or `ms` have passed; what `done` says last.
template <class Pred> bool waitUntil(Pred done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

// Runs a program to its end (at most 5 s) with the event loop turning; true on exit code 0.
inline bool runProgram(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 5000);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

inline bool xdotool(const QStringList& args) {
    return runProgram(QStringLiteral("xdotool"), args);
}

} // namespace kavelo::test
