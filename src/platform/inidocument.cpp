#include "inidocument.h"

#include <algorithm>

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view lineBreak = "\r\n";

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && IniDocument::isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IniDocument::isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// The name of a header line ("[" up to the last "]"), or nothing for other lines.
std::optional<std::string_view> headerName(std::string_view content)
{
    const std::size_t close = content.rfind(']');
    if (content.empty() || content.front() != '[' || close == std::string_view::npos)
        return std::nullopt;
    return trimmed(content.substr(1, close - 1));
}

} // namespace

IniDocument::IniDocument(std::string bytes)
    : text(std::move(bytes))
    , bodyStart(std::string_view(text).substr(0, byteOrderMark.size()) == byteOrderMark ? byteOrderMark.size() : 0)
{
}

bool IniDocument::isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A';
}

IniDocument::Line IniDocument::lineAt(std::size_t begin) const
{
    const std::size_t end = std::min(text.find_first_of(lineBreak, begin), text.size());
    std::size_t next = end;
    if (next < text.size())
        next += text.compare(next, lineBreak.size(), lineBreak) == 0 ? lineBreak.size() : 1;
    return {begin, end, next};
}

IniDocument::Match IniDocument::find(std::string_view section, std::string_view key) const
{
    Match match;
    for (std::size_t begin = bodyStart; begin < text.size();) {
        const Line line = lineAt(begin);
        begin = line.next;
        const std::string_view content = trimmed(std::string_view(text).substr(line.begin, line.end - line.begin));
        if (content.empty())
            continue;
        const std::optional<std::string_view> name = headerName(content);
        if (match.header) {
            if (name) {
                match.sectionEnd = line.begin;
                return match;
            }
            match.lastContent = line;
            const std::size_t equals = content.find('=');
            if (!match.key && equals != std::string_view::npos && sameName(trimmed(content.substr(0, equals)), key))
                match.key = line;
        } else if (name && sameName(*name, section)) {
            match.header = line;
            match.lastContent = line;
        }
    }
    match.sectionEnd = text.size();
    return match;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const
{
    const Match match = find(trimmed(section), trimmed(key));
    if (!match.key)
        return std::nullopt;
    std::string_view value = std::string_view(text).substr(match.key->begin, match.key->end - match.key->begin);
    value.remove_prefix(value.find('=') + 1);
    value = trimmed(value.substr(0, value.find('\0')));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    section = trimmed(section);
    key = trimmed(key);
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    const Match match = find(section, key);

    if (match.key) {
        const std::string_view line = std::string_view(text).substr(match.key->begin, match.key->end - match.key->begin);
        const std::size_t equals = line.find('=');
        // The value already stored, blanks aside: the line, and so the file, stays untouched.
        if (trimmed(line.substr(equals + 1)) == trimmed(value))
            return false;
        // The name keeps its spelling in the file; the line keeps its line end.
        const std::string replacement = std::string(trimmed(line.substr(0, equals))) + '=' + std::string(value);
        text.replace(match.key->begin, line.size(), replacement);
        return true;
    }

    const std::string entry = std::string(key) + '=' + std::string(value) + std::string(lineBreak);
    if (match.header) {
        // After the section's last non-blank line, so blank lines before the next header stay there.
        const Line &last = match.lastContent;
        text.insert(last.next, last.next == last.end ? std::string(lineBreak) + entry : entry);
        return true;
    }

    const std::string block = '[' + std::string(section) + ']' + std::string(lineBreak) + entry;
    if (std::all_of(text.begin() + std::ptrdiff_t(bodyStart), text.end(), isBlank)) {
        // A file of blanks only, such as the single space a new settings file starts with.
        text.replace(bodyStart, std::string::npos, block);
    } else {
        if (text.back() != '\r' && text.back() != '\n')
            text += lineBreak;
        text += block;
    }
    return true;
}

bool IniDocument::removeKey(std::string_view section, std::string_view key)
{
    const Match match = find(trimmed(section), trimmed(key));
    if (!match.key)
        return false;
    text.erase(match.key->begin, match.key->next - match.key->begin);
    return true;
}

bool IniDocument::removeSection(std::string_view section)
{
    const Match match = find(trimmed(section), {});
    if (!match.header)
        return false;
    text.erase(match.header->begin, match.sectionEnd - match.header->begin);
    return true;
}
