#pragma once

#include <QLoggingCategory>

// Kavelo's logging categories, one for each part of the program. Failures that a step absorbs
// without a word to the user leave a debug line here; run with
// QT_LOGGING_RULES="kavelo.*=true" to see them. Every kavelo.* category shows warnings and
// information by default, and debug lines only when asked for.
namespace kavelo::logging {
Q_DECLARE_LOGGING_CATEGORY(app)
Q_DECLARE_LOGGING_CATEGORY(dvd)
Q_DECLARE_LOGGING_CATEGORY(position)
Q_DECLARE_LOGGING_CATEGORY(media)
Q_DECLARE_LOGGING_CATEGORY(about)
Q_DECLARE_LOGGING_CATEGORY(platform)

// The category of the part of the program that a source file belongs to.
const QLoggingCategory& categoryOf(const char* sourceFile) noexcept;

// Call from a catch block that absorbs a failure silently: leaves a debug line naming where
// (the defaults name the caller) and, for a standard exception, why.
void noteAbsorbed(const char* file = __builtin_FILE(), int line = __builtin_LINE(),
                  const char* function = __builtin_FUNCTION()) noexcept;
} // namespace kavelo::logging
