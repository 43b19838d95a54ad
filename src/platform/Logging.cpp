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
    const Part parts[] = {{"/app/", app},     {"/dvd/", dvd},     {"/position/", position},
                          {"/media/", media}, {"/about/", about}, {"/mpv/", media}};
    if (sourceFile) {
        for (const Part& p : parts) {
            if (std::strstr(sourceFile, p.folder))
                return p.category();
        }
    }
    return platform();
}

void noteAbsorbed(std::source_location where) noexcept {
    try {
        const QLoggingCategory& category = categoryOf(where.file_name());
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
        const char* file = std::strrchr(where.file_name(), '/');
        qCDebug(category).noquote()
            << QStringLiteral("%1 (%2:%3) %4 and was passed over")
                   .arg(QString::fromLatin1(where.function_name()),
                        QString::fromLatin1(file ? file + 1 : where.file_name()))
                   .arg(where.line())
                   .arg(reason);
    } catch (...) {
    }
}

} // namespace kavelo::logging
