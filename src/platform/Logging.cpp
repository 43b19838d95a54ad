#include "Logging.h"

#include <QString>

#include <cstring>
#include <exception>

namespace kavelo::logging {

Q_LOGGING_CATEGORY(app, "kavelo.app", QtInfoMsg)
Q_LOGGING_CATEGORY(dvd, "kavelo.dvd", QtInfoMsg)
Q_LOGGING_CATEGORY(position, "kavelo.position", QtInfoMsg)
Q_LOGGING_CATEGORY(media, "kavelo.media", QtInfoMsg)
Q_LOGGING_CATEGORY(about, "kavelo.about", QtInfoMsg)
Q_LOGGING_CATEGORY(platform, "kavelo.platform", QtInfoMsg)

const QLoggingCategory& categoryOf(const char* sourceFile) noexcept {
    struct Part {
        const char* folder;
        const QLoggingCategory& (*category)();
    };
    // The window side of the DVD player (src/ui) reports with the engine, as before it moved.
    const Part parts[] = {{"/app/", app},           {"/dvd/", dvd},     {"/ui/", dvd},
                          {"/position/", position}, {"/media/", media}, {"/about/", about},
                          {"/mpv/", media}};
    if (sourceFile) {
        for (const Part& p : parts) {
            if (std::strstr(sourceFile, p.folder))
                return p.category();
        }
    }
    return platform();
}

void noteAbsorbed(const char* file, int line, const char* function) noexcept {
    try {
        const QLoggingCategory& category = categoryOf(file);
        if (!category.isDebugEnabled())
            return;
        QString reason = QStringLiteral("failed");
        if (const std::exception_ptr failure = std::current_exception()) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                reason = QStringLiteral("failed: ") + QString::fromLocal8Bit(e.what());
            } catch (...) {
            }
        }
        const char* name = file ? std::strrchr(file, '/') : nullptr;
        qCDebug(category).noquote() << QStringLiteral("%1 (%2:%3) %4 and was passed over")
                                           .arg(QString::fromLatin1(function ? function : ""),
                                                QString::fromLatin1(name ? name + 1 : file))
                                           .arg(line)
                                           .arg(reason);
    } catch (...) {
    }
}

} // namespace kavelo::logging
