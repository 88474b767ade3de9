#pragma once
// The settings file MELVAR.INI: a small private-profile (INI) reader and
// writer of our own. Section and key names match without regard to ASCII
// case, values are trimmed of blanks, and writing one key keeps every other
// line of the file (other sections, keys, comments, blank lines) as it was.
// Every write replaces the file atomically, so a crash or a full disk never
// leaves it truncated: either the old file or the new one is there.
#include <string>

namespace melvar::platform {

// The one settings file of this user: $XDG_CONFIG_HOME/melvar/MELVAR.INI,
// or ~/.config/melvar/MELVAR.INI when XDG_CONFIG_HOME is unset, empty or
// not an absolute path. The folder is created by the first write.
std::string SettingsFilePath();

// The value of key in section of the file at path, cut to at most maxChars
// characters (whole UTF-8 characters); defaultValue, cut the same way, when
// the file, the section or the key is missing or the file cannot be read.
// A value enclosed in a pair of matching quotes (' or ") loses the quotes.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t maxChars);

// Sets key := value in section of the file at path. A key that is missing is
// added at the end of its section, a missing section at the end of the file,
// a missing file (and its folder) is created. Returns false, with the reason
// in *error when given, and leaves the old file untouched when the file
// cannot be read or written, or when a name or the value would break the
// file's line structure (a line break, "=" or "[" in a key, "]" in a section).
bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value,
                        std::string* error = nullptr);

}  // namespace melvar::platform
