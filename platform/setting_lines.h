#pragma once
// Settings files read a line at a time: "name: value" (X resources,
// ~/.xscreensaver) and "key=value" (KDE's files) lines.
#include <cstddef>
#include <string>
#include <string_view>

// Blanks around names and values: spaces, tabs and a DOS line end's "\r".
constexpr std::string_view kSettingBlanks = " \t\r";

// Calls each(line) for every line of `text`, without its "\n" (the last one
// may lack it); nothing for an empty text.
template <class Each> void ForEachLine(std::string_view text, Each each)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        each(text.substr(start, end - start));
        start = end + 1;
    }
}

// `text` without the characters of `blanks` at either end.
inline std::string_view TrimSettingBlanks(std::string_view text, std::string_view blanks = kSettingBlanks)
{
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Splits `line` at its first `separator` into the name before it and the
// value after it, each without `blanks` at its ends. False (both untouched)
// when the line holds no separator.
inline bool SplitSettingLine(std::string_view line, char separator, std::string* name, std::string* value,
                             std::string_view blanks = kSettingBlanks)
{
    const size_t at = line.find(separator);
    if (at == std::string_view::npos)
        return false;
    *name = TrimSettingBlanks(line.substr(0, at), blanks);
    *value = TrimSettingBlanks(line.substr(at + 1), blanks);
    return true;
}
