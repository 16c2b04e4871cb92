#include "inifile.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace inifile {

namespace {

std::string_view trim(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r";
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// The section named by a "[name]" line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// The key of a "key=value" line (comments and blank lines have none).
std::optional<std::string_view> keyName(std::string_view line) {
    const auto trimmed = trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return std::nullopt;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return trim(line.substr(0, equals));
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

std::string readValue(std::string_view text, std::string_view section, std::string_view key) {
    bool inSection = false;
    for (const auto line : splitLines(text)) {
        if (const auto name = sectionName(line)) {
            inSection = sameName(*name, section);
        } else if (inSection) {
            const auto lineKey = keyName(line);
            if (lineKey && sameName(*lineKey, key))
                return std::string(unquote(trim(line.substr(line.find('=') + 1))));
        }
    }
    return {};
}

std::string writeValue(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value) {
    const auto lines = splitLines(text);
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    bool inSection = false;
    std::optional<size_t> lastLineOfSection;  // where a new key goes: after the section's last entry
    std::optional<size_t> keyLineIndex;
    for (size_t i = 0; i < lines.size() && !keyLineIndex; ++i) {
        if (const auto name = sectionName(lines[i])) {
            inSection = sameName(*name, section);
            if (inSection && !lastLineOfSection) lastLineOfSection = i;
        } else if (inSection) {
            const auto lineKey = keyName(lines[i]);
            if (lineKey && sameName(*lineKey, key)) keyLineIndex = i;
            if (!trim(lines[i]).empty()) lastLineOfSection = i;
        }
    }

    std::string out;
    auto append = [&out](std::string_view line) {
        out.append(line);
        out.push_back('\n');
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        append(keyLineIndex == i ? std::string_view(keyLine) : lines[i]);
        if (!keyLineIndex && lastLineOfSection == i) append(keyLine);
    }
    if (!lastLineOfSection) {
        append("[" + std::string(section) + "]");
        append(keyLine);
    }
    return out;
}

}  // namespace inifile
