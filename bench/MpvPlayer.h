#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocalSocket>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>

#include <deque>
#include <optional>

namespace kavelo::bench {

// The mpv player as its users run it, driven through its JSON IPC socket: commands, property
// reads and the events it sends (playback-restart after a load or a seek is its "picture up").
class MpvPlayer {
public:
    // Starts `program` idle, with a window of `geometry` (screen coordinates) kept open.
    MpvPlayer(const QString& program, const QRect& geometry);
    ~MpvPlayer();
    MpvPlayer(const MpvPlayer&) = delete;
    MpvPlayer& operator=(const MpvPlayer&) = delete;

    bool connected() const { return m_socket.state() == QLocalSocket::ConnectedState; }
    qint64 pid() const { return m_process.processId(); }

    // Runs a command and waits for its reply; false on an error reply or a timeout.
    bool command(const QJsonArray& args, int timeoutMs = 5000);
    bool set(const QString& property, const QJsonValue& value) {
        return command({QStringLiteral("set_property"), property, value});
    }
    std::optional<QJsonValue> get(const QString& property, int timeoutMs = 5000);

    // Forgets the events received so far.
    void clearEvents();
    // Waits for event `name` (kept ones first); false when timeoutMs passes.
    bool waitForEvent(const QString& name, int timeoutMs);

private:
    bool readMessages(int waitMs);

    QTemporaryDir m_dir;
    QProcess m_process;
    QLocalSocket m_socket;
    std::deque<QString> m_events;
    std::optional<QJsonObject> m_reply;
    int m_lastRequest = 0;
};

} // namespace kavelo::bench
