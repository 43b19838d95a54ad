#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

namespace kavelo::test {

// Turns Kavelo's debug lines on and collects them as "category: message" while it lives.
class LogCapture {
public:
    LogCapture() {
        current() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
        QLoggingCategory::setFilterRules(QStringLiteral("kavelo.*.debug=true"));
    }
    ~LogCapture() {
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines;

    // The lines of `category` that contain `text`.
    QStringList find(const QString& category, const QString& text) const {
        return lines.filter(category + QStringLiteral(": ")).filter(text);
    }

private:
    static LogCapture*& current() {
        static LogCapture* capture = nullptr; // test code: one capture at a time
        return capture;
    }
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (LogCapture* c = current())
            c->lines << QString::fromLatin1(context.category ? context.category : "default") +
                            QStringLiteral(": ") + message;
    }
    QtMessageHandler m_previous = nullptr;
};

} // namespace kavelo::test
