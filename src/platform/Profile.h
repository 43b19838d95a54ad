#pragma once

#include <QString>

namespace kavelo {

// Kavelo's profile folder: $XDG_CONFIG_HOME/kavelo, or ~/.config/kavelo when that variable is
// unset or not absolute. It stands where other systems keep their own directory of profile files.
QString profileDirectory();

// The system profile in that folder, system.ini, which holds the media driver table.
QString systemProfilePath();

// Profile files: sections in square brackets, "key=value" lines, ';' or '#' comment lines.
// Section and key names match without regard to case; blanks around names and values are
// ignored, and one pair of matching quotes around a value is dropped.

// The value of `key` in `section` of `file`, or `defaultValue` when the file, the section or the
// key is missing or the file cannot be read.
QString getPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& file);

// Sets `key` in `section` to `value`. Only the key's own line changes (or one line is added, with
// the section header when the section is missing); every other byte of the file stays as it
// was. The folder and the file are created when missing. The file is replaced atomically, so a
// failure never leaves it half written. Returns false, changing nothing, when the names or value
// cannot be stored (line breaks, '=' in a key, ']' in a section) or the file cannot be written.
// Writers in every process take turns through an exclusive lock on "<file>.lock" beside the
// file; a write that cannot have it within 2 s fails the same way. A writer that dies mid-write
// leaves at most a temporary "<file>.XXXXXX" behind, which the next write removes.
bool writePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file);

} // namespace kavelo
