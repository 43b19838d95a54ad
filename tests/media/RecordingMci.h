#pragma once

#include "Mci.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace kavelo::test {

// Records every command it is sent and answers from tables: a result code and a reply for
// each command text (matched after trimming the padding), 0 and no reply otherwise.
class RecordingMci final : public IMci {
public:
    QStringList commands;    // as sent, padding and all
    QList<int> replyLengths; // the reply length offered with each
    QMap<QString, std::uint32_t> results;
    QMap<QString, QString> replies;
    bool throwing = false;       // every command throws, as a broken layer might
    QStringList* sink = nullptr; // also gets every command, and outlives the layer

    QStringList trimmed() const {
        QStringList out;
        for (const QString& c : commands)
            out << c.trimmed();
        return out;
    }

    std::uint32_t sendString(const QString& command, QString* reply, int replyLength) override {
        commands << command;
        if (sink)
            *sink << command;
        replyLengths << replyLength;
        if (throwing)
            throw std::runtime_error("broken");
        const QString key = command.trimmed();
        if (reply)
            *reply = replies.value(key);
        return results.value(key, 0);
    }

    bool getErrorString(std::uint32_t code, QString* text, int length) override {
        *text = QStringLiteral("error text %1").arg(code).left(length - 1);
        return true;
    }
};

} // namespace kavelo::test
