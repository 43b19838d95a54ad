#pragma once

#include "Waiting.h"

#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

#include <optional>

// What the X server and the window manager say about a window, read with the same tools a
// person would use (xwininfo, xprop), not through Qt.
namespace kavelo::test {

// Runs a program to its end (at most 5 s) and gives its standard output; nullopt on failure.
inline std::optional<QString> output(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(5000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

inline QString windowId(WId id) {
    return QStringLiteral("0x%1").arg(static_cast<qulonglong>(id), 0, 16);
}

// A property of a window as xprop prints it after "=" (empty when the window has none).
inline QString xprop(WId id, const char* property) {
    const auto text =
        output(QStringLiteral("xprop"), {QStringLiteral("-id"), windowId(id), property});
    if (!text || !text->contains(QLatin1Char('=')))
        return {};
    return text->section(QLatin1Char('='), 1).trimmed();
}

// Whether the window is mapped and shows on the screen.
inline bool viewable(WId id) {
    const auto info = output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId(id)});
    return info && info->contains(QStringLiteral("IsViewable"));
}

struct XFrame {
    QRect client;   // on the screen
    QMargins frame; // _NET_FRAME_EXTENTS: what the window manager adds on each side
    QRect outer() const { return client.marginsAdded(frame); }
};

// The window's client rectangle on the screen (xwininfo) and its frame (_NET_FRAME_EXTENTS);
// nullopt while the window manager has not framed it.
inline std::optional<XFrame> measureFrame(WId id) {
    const auto info = output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId(id)});
    const QString extents = xprop(id, "_NET_FRAME_EXTENTS");
    if (!info || extents.isEmpty())
        return std::nullopt;
    const auto number = [&](const char* label) {
        const QRegularExpression re(QString::fromLatin1(label) + QStringLiteral(":\\s*(-?\\d+)"));
        return re.match(*info).captured(1).toInt();
    };
    const QStringList e = extents.split(QLatin1Char(','));
    if (e.size() != 4)
        return std::nullopt;
    XFrame f;
    f.client = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"),
                     number("Width"), number("Height"));
    // Left, right, top, bottom.
    f.frame = QMargins(e[0].trimmed().toInt(), e[2].trimmed().toInt(), e[1].trimmed().toInt(),
                       e[3].trimmed().toInt());
    return f;
}

// The managed windows from bottom to top, as the window manager stacks them.
inline QList<WId> stacking() {
    // xprop prints window lists as "_NET_CLIENT_LIST_STACKING(WINDOW): window id # 0x.., 0x..".
    QList<WId> ids;
    const auto text =
        output(QStringLiteral("xprop"),
               {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    if (!text)
        return ids;
    const QRegularExpression hex(QStringLiteral("0x([0-9a-fA-F]+)"));
    for (auto it = hex.globalMatch(*text); it.hasNext();)
        ids << static_cast<WId>(it.next().captured(1).toULongLong(nullptr, 16));
    return ids;
}

// Whether `upper` stands above `lower` in the window manager's stacking.
inline bool stackedAbove(WId upper, WId lower) {
    const QList<WId> ids = stacking();
    return ids.contains(upper) && ids.contains(lower) && ids.indexOf(upper) > ids.indexOf(lower);
}

} // namespace kavelo::test
