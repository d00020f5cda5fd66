#include "connection/OutputFormats.h"

#include "connection/OutputFormatsText.h"

#include <utility>

namespace vx {

namespace {

bool IsControlOrSpace(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string TrimText(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsControlOrSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsControlOrSpace(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

OutputFormat EntryFromLine(std::string_view line) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
        return {std::string(), TrimText(line)};
    }
    return {TrimText(line.substr(0, comma)), TrimText(line.substr(comma + 1))};
}

}  // namespace

std::string_view OutputFormatsText() {
    return kOutputFormatsText;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        begin = next;
    }
    return lines;
}

bool IsPolarFormat(std::string_view name) {
    return name.find("POLAR") != std::string_view::npos;
}

bool IsNmeaFormat(std::string_view name) {
    return name.find("NMEA") != std::string_view::npos;
}

OutputFormatTable::OutputFormatTable() : lines_(SplitLines(OutputFormatsText())) {}

OutputFormatTable::OutputFormatTable(std::vector<std::string> definitionLines)
    : lines_(std::move(definitionLines)) {}

bool OutputFormatTable::LoadFormats() {
    return LoadFormats(lines_);
}

bool OutputFormatTable::LoadFormats(const std::vector<std::string>& lines) {
    std::size_t i = 0;
    while (i < lines.size() && lines[i].find(":START") == std::string::npos) {
        ++i;
    }
    if (i == lines.size()) {
        return false;
    }
    // Entries are gathered aside so a text without ":END" leaves the table as it was.
    std::array<OutputFormat, kMaxFormats> entries{};
    int counter = 0;
    for (++i; i < lines.size(); ++i) {
        if (lines[i].find(":END") != std::string::npos) {
            for (int k = 0; k < counter; ++k) {
                formats_[k] = std::move(entries[k]);
            }
            count_ = counter;
            return true;
        }
        if (counter < kMaxFormats) {
            entries[counter++] = EntryFromLine(lines[i]);
        }
    }
    return false;
}

FormatList OutputFormatTable::FillFormatList() {
    FormatList list;
    if (!LoadFormats()) {
        formats_[0] = {std::string(kDefaultFormatName), std::string(kDefaultFormatLetters)};
        count_ = 1;
        list.names.push_back(formats_[0].name);
        return list;
    }
    for (int k = 0; k < count_; ++k) {
        list.names.push_back(formats_[k].name);
    }
    if (list.names.empty()) {
        list.selected = -1;
    }
    return list;
}

std::string OutputFormatTable::FormatNameAt(int position) const {
    if (position < 0 || position >= kMaxFormats) {
        return {};
    }
    return formats_[position].name;
}

std::string OutputFormatTable::FormatLettersAt(int position) const {
    if (position < 0 || position >= kMaxFormats) {
        return {};
    }
    return formats_[position].letters;
}

}  // namespace vx
