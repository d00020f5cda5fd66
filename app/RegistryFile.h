#pragma once
// A registry-export text file ("REGEDIT4"): keys in brackets, typed values beneath them. It keeps
// the few settings the program remembers in a form a person can read and edit, so the parser must
// take any bytes without failing: lines it does not understand are skipped.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx {

struct RegistryValue {
    enum class Type { Dword, String, Other };
    Type type = Type::Other;
    std::uint32_t dword = 0;  // Type::Dword
    std::string text;         // Type::String: the string; Type::Other: the data as written

    bool operator==(const RegistryValue&) const = default;
};

class RegistryFile {
public:
    static RegistryFile Parse(std::string_view text);
    std::string Serialize() const;

    // Key paths and value names compare without regard to ASCII case, as the registry does.
    bool HasKey(std::string_view key) const;
    const RegistryValue* Find(std::string_view key, std::string_view name) const;

    void SetDword(std::string_view key, std::string_view name, std::uint32_t value);
    void SetString(std::string_view key, std::string_view name, std::string_view value);
    // Removes the key with its values (its subkeys are keys of their own and stay).
    void RemoveKey(std::string_view key);

    struct Key {
        std::string path;
        std::vector<std::pair<std::string, RegistryValue>> values;
        bool operator==(const Key&) const = default;
    };
    const std::vector<Key>& Keys() const { return keys_; }

private:
    Key* FindKey(std::string_view key);
    const Key* FindKey(std::string_view key) const;
    Key& AddKey(std::string_view key);
    static void Store(Key& key, std::string_view name, RegistryValue value);
    static void Remove(Key& key, std::string_view name);

    std::vector<Key> keys_;
};

}  // namespace vx
