#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The bytes of an INI file, read and edited as the Windows private-profile functions do. An edit
// touches only the line or section it concerns; every other byte, NUL bytes and the line ends of
// the file included, stays as it was. Plain C++ so that it can be fuzzed on its own.
class IniDocument
{
public:
    explicit IniDocument(std::string bytes);

    const std::string &bytes() const { return text; }

    // The value of the key in the first section of that name, cut at a NUL byte, blanks and one
    // pair of outer quotes removed; nothing when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Each returns whether the bytes changed. Names are trimmed of blanks and match ASCII
    // case-insensitively; only the first matching section and key are considered.
    bool setValue(std::string_view section, std::string_view key, std::string_view value);
    bool removeKey(std::string_view section, std::string_view key);
    bool removeSection(std::string_view section);

    // Tab, LF, VT, FF, CR, space and 0x1A (the DOS end-of-file mark); not 0xA0.
    static bool isBlank(char c);

private:
    struct Line
    {
        std::size_t begin; // first byte
        std::size_t end;   // where the line end (CR, LF or CRLF) or the text ends
        std::size_t next;  // first byte of the following line
    };

    struct Match
    {
        std::optional<Line> header;
        std::optional<Line> key;
        Line lastContent{};         // last non-blank line of the section, its header at least
        std::size_t sectionEnd = 0; // where the next header starts, or the end of the text
    };

    Line lineAt(std::size_t begin) const;
    Match find(std::string_view section, std::string_view key) const;

    std::string text;
    std::size_t bodyStart = 0; // after a UTF-8 byte-order mark
};
