#include "MpvPlayer.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QThread>

namespace kavelo::bench {

MpvPlayer::MpvPlayer(const QString& program, const QRect& geometry) {
    const QString socketPath = m_dir.filePath(QStringLiteral("ipc"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // The same video and audio outputs as Kavelo's engine; nothing else changed from mpv's own
    // defaults, so its seeks and scans are mpv's.
    m_process.start(program, {QStringLiteral("--no-config"), QStringLiteral("--idle=yes"),
                              QStringLiteral("--force-window=yes"),
                              QStringLiteral("--input-ipc-server=") + socketPath,
                              QStringLiteral("--vo=gpu,x11"), QStringLiteral("--gpu-sw=yes"),
                              QStringLiteral("--hwdec=no"), QStringLiteral("--ao=pulse,alsa,null"),
                              QStringLiteral("--audio-fallback-to-null=yes"),
                              QStringLiteral("--keep-open=yes"), QStringLiteral("--osc=no"),
                              QStringLiteral("--osd-level=0"), QStringLiteral("--ytdl=no"),
                              QStringLiteral("--input-default-bindings=no"),
                              QStringLiteral("--geometry=%1x%2+%3+%4")
                                  .arg(geometry.width())
                                  .arg(geometry.height())
                                  .arg(geometry.x())
                                  .arg(geometry.y())});
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_socket.connectToServer(socketPath);
        if (m_socket.waitForConnected(200))
            break;
        QThread::msleep(50);
    }
}

MpvPlayer::~MpvPlayer() {
    if (connected())
        command({QStringLiteral("quit")}, 1000);
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(1000);
}

bool MpvPlayer::readMessages(int waitMs) {
    if (!m_socket.canReadLine() && !m_socket.waitForReadyRead(waitMs))
        return false;
    while (m_socket.canReadLine()) {
        const QJsonObject message = QJsonDocument::fromJson(m_socket.readLine()).object();
        const QString event = message.value(QStringLiteral("event")).toString();
        if (!event.isEmpty())
            m_events.push_back(event);
        else if (message.value(QStringLiteral("request_id")).toInt() == m_lastRequest)
            m_reply = message;
    }
    return true;
}

bool MpvPlayer::command(const QJsonArray& args, int timeoutMs) {
    if (!connected())
        return false;
    const int id = ++m_lastRequest;
    m_reply.reset();
    const QJsonObject request{{QStringLiteral("command"), args},
                              {QStringLiteral("request_id"), id}};
    m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    m_socket.flush();
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_reply && !deadline.hasExpired())
        readMessages(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    return m_reply &&
           m_reply->value(QStringLiteral("error")).toString() == QLatin1String("success");
}

std::optional<QJsonValue> MpvPlayer::get(const QString& property, int timeoutMs) {
    if (!command({QStringLiteral("get_property"), property}, timeoutMs))
        return std::nullopt;
    return m_reply->value(QStringLiteral("data"));
}

void MpvPlayer::clearEvents() {
    while (readMessages(0)) {
    }
    m_events.clear();
}

bool MpvPlayer::waitForEvent(const QString& name, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (!m_events.empty()) {
            const QString event = m_events.front();
            m_events.pop_front();
            if (event == name)
                return true;
        }
        if (deadline.hasExpired() || !connected())
            return false;
        readMessages(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
}

} // namespace kavelo::bench
