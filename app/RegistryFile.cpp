#include "app/RegistryFile.h"

#include <algorithm>
#include <optional>

namespace vx {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kDwordPrefix = "dword:";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = LowerAscii(c);
    if (lower >= 'a' && lower <= 'f') {
        return lower - 'a' + 10;
    }
    return -1;
}

// Reads a quoted text starting at s[0] == '"'. Returns the unescaped text and moves s past the
// closing quote; nothing when the quote is never closed.
std::optional<std::string> ReadQuoted(std::string_view& s) {
    std::string out;
    std::size_t i = 1;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= s.size()) {
                return std::nullopt;
            }
            const char next = s[i + 1];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return std::nullopt;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    out += '"';
    return out;
}

std::optional<std::uint32_t> ParseDword(std::string_view data) {
    if (data.size() <= kDwordPrefix.size() ||
        !EqualNoCase(data.substr(0, kDwordPrefix.size()), kDwordPrefix)) {
        return std::nullopt;
    }
    const std::string_view digits = data.substr(kDwordPrefix.size());
    if (digits.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

// The data after "name"=: a quoted string, dword:XXXXXXXX, or anything else kept as written
// (binary and multi-string types, or text we cannot read), which counts as a value of another type.
RegistryValue ParseData(std::string_view data) {
    RegistryValue value;
    if (const auto dword = ParseDword(data)) {
        value.type = RegistryValue::Type::Dword;
        value.dword = *dword;
        return value;
    }
    if (!data.empty() && data.front() == '"') {
        std::string_view rest = data;
        if (auto text = ReadQuoted(rest); text && TrimBlanks(rest).empty()) {
            value.type = RegistryValue::Type::String;
            value.text = std::move(*text);
            return value;
        }
    }
    value.type = RegistryValue::Type::Other;
    value.text = std::string(data);
    return value;
}

std::string FormatDword(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(kDwordPrefix);
    for (int shift = 28; shift >= 0; shift -= 4) {
        out += kDigits[(value >> shift) & 0xF];
    }
    return out;
}

}  // namespace

RegistryFile RegistryFile::Parse(std::string_view text) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    RegistryFile file;
    std::optional<std::string> currentKey;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        if (line.empty()) {
            continue;
        }
        if (line.front() == '[') {
            // A broken key line must not let the values below it land in the previous key.
            currentKey.reset();
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos) {
                continue;
            }
            const std::string_view path = line.substr(1, close - 1);
            if (!path.empty() && path.front() == '-') {
                file.RemoveKey(path.substr(1));
                continue;
            }
            currentKey = file.AddKey(path).path;
            continue;
        }
        if (line.front() != '"' || !currentKey) {
            continue;  // header, comments, continuation lines, values outside a key
        }
        const auto name = ReadQuoted(line);
        line = TrimBlanks(line);
        if (!name || line.empty() || line.front() != '=') {
            continue;
        }
        const std::string_view data = TrimBlanks(line.substr(1));
        Key& key = *file.FindKey(*currentKey);
        if (data == "-") {
            Remove(key, *name);
        } else {
            Store(key, *name, ParseData(data));
        }
    }
    return file;
}

std::string RegistryFile::Serialize() const {
    std::string out(kHeader);
    out += "\n";
    for (const Key& key : keys_) {
        out += "\n[" + key.path + "]\n";
        for (const auto& [name, value] : key.values) {
            out += Quote(name) + "=";
            switch (value.type) {
                case RegistryValue::Type::Dword:
                    out += FormatDword(value.dword);
                    break;
                case RegistryValue::Type::String:
                    out += Quote(value.text);
                    break;
                case RegistryValue::Type::Other:
                    out += value.text;
                    break;
            }
            out += "\n";
        }
    }
    return out;
}

bool RegistryFile::HasKey(std::string_view key) const {
    return FindKey(key) != nullptr;
}

const RegistryValue* RegistryFile::Find(std::string_view key, std::string_view name) const {
    const Key* found = FindKey(key);
    if (found == nullptr) {
        return nullptr;
    }
    for (const auto& [valueName, value] : found->values) {
        if (EqualNoCase(valueName, name)) {
            return &value;
        }
    }
    return nullptr;
}

void RegistryFile::SetDword(std::string_view key, std::string_view name, std::uint32_t value) {
    Store(AddKey(key), name, RegistryValue{RegistryValue::Type::Dword, value, {}});
}

void RegistryFile::SetString(std::string_view key, std::string_view name, std::string_view value) {
    Store(AddKey(key), name, RegistryValue{RegistryValue::Type::String, 0, std::string(value)});
}

RegistryFile::Key* RegistryFile::FindKey(std::string_view key) {
    for (Key& candidate : keys_) {
        if (EqualNoCase(candidate.path, key)) {
            return &candidate;
        }
    }
    return nullptr;
}

const RegistryFile::Key* RegistryFile::FindKey(std::string_view key) const {
    return const_cast<RegistryFile*>(this)->FindKey(key);
}

RegistryFile::Key& RegistryFile::AddKey(std::string_view key) {
    if (Key* found = FindKey(key)) {
        return *found;
    }
    keys_.push_back(Key{std::string(key), {}});
    return keys_.back();
}

void RegistryFile::RemoveKey(std::string_view key) {
    std::erase_if(keys_, [key](const Key& candidate) { return EqualNoCase(candidate.path, key); });
}

void RegistryFile::Store(Key& key, std::string_view name, RegistryValue value) {
    for (auto& [valueName, stored] : key.values) {
        if (EqualNoCase(valueName, name)) {
            stored = std::move(value);
            return;
        }
    }
    key.values.emplace_back(std::string(name), std::move(value));
}

void RegistryFile::Remove(Key& key, std::string_view name) {
    std::erase_if(key.values, [name](const auto& entry) { return EqualNoCase(entry.first, name); });
}

}  // namespace vx
