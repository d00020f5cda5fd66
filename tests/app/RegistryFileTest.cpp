#include "app/RegistryFile.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix";

TEST(RegistryFile, ReadsTypedValuesOfAnExport) {
    const auto file = RegistryFile::Parse(
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix]\r\n"
        "\"Units\"=dword:00000003\r\n"
        "\"DisplayMode\"=dword:FFFFFFFF\r\n"
        "\"DefaultLogFile\"=\"C:\\\\logs\\\\say \\\"hi\\\".txt\"\r\n"
        "\"Blob\"=hex:01,02\r\n");
    const RegistryValue* units = file.Find(kKey, "Units");
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(units->type, RegistryValue::Type::Dword);
    EXPECT_EQ(units->dword, 3u);
    EXPECT_EQ(file.Find(kKey, "DisplayMode")->dword, 0xFFFFFFFFu);
    const RegistryValue* log = file.Find(kKey, "DefaultLogFile");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->type, RegistryValue::Type::String);
    EXPECT_EQ(log->text, "C:\\logs\\say \"hi\".txt");
    EXPECT_EQ(file.Find(kKey, "Blob")->type, RegistryValue::Type::Other);
}

TEST(RegistryFile, KeysAndNamesIgnoreCaseLikeTheRegistry) {
    const auto file = RegistryFile::Parse(
        "[hkey_local_machine\\software\\varn instruments\\VENTRIX]\n\"units\"=DWORD:1\n");
    ASSERT_TRUE(file.HasKey(kKey));
    ASSERT_NE(file.Find(kKey, "Units"), nullptr);
    EXPECT_EQ(file.Find(kKey, "Units")->dword, 1u);
}

// Data we cannot read as a dword or a whole string is kept as a value of another type: it exists,
// but it is not what the reader expects.
TEST(RegistryFile, MalformedDataIsAValueOfAnotherType) {
    for (const char* data :
         {"dword:123456789", "dword:", "dword:12g4", "\"unterminated", "\"text\" trailing", "42"}) {
        const auto file = RegistryFile::Parse(std::string("[k]\n\"v\"=") + data + "\n");
        const RegistryValue* value = file.Find("k", "v");
        ASSERT_NE(value, nullptr) << data;
        EXPECT_EQ(value->type, RegistryValue::Type::Other) << data;
    }
}

TEST(RegistryFile, SkipsLinesItCannotUseAndValuesOutsideAKey) {
    const auto file = RegistryFile::Parse(
        "\"Orphan\"=dword:1\n; comment\n[broken key\n\"Lost\"=dword:2\n"
        "garbage\n\"NoEquals\" dword:3\n[k]\n  \"Kept\" = dword:4  \n");
    EXPECT_EQ(file.Keys().size(), 1u);
    EXPECT_EQ(file.Find("k", "Lost"), nullptr);
    EXPECT_EQ(file.Find("k", "NoEquals"), nullptr);
    ASSERT_NE(file.Find("k", "Kept"), nullptr);
    EXPECT_EQ(file.Find("k", "Kept")->dword, 4u);
}

TEST(RegistryFile, DeletionsAndRepeatsActInOrder) {
    const auto file = RegistryFile::Parse(
        "[a]\n\"x\"=dword:1\n\"x\"=dword:2\n\"y\"=dword:3\n\"y\"=-\n"
        "[b]\n\"z\"=dword:5\n[-b]\n[A]\n\"w\"=\"merged\"\n");
    EXPECT_EQ(file.Find("a", "x")->dword, 2u);
    EXPECT_EQ(file.Find("a", "y"), nullptr);
    EXPECT_FALSE(file.HasKey("b"));
    ASSERT_NE(file.Find("a", "w"), nullptr);
    EXPECT_EQ(file.Keys().size(), 1u);
}

TEST(RegistryFile, SerializedFileReadsBackTheSameValues) {
    RegistryFile file;
    file.SetDword(kKey, "Units", 0x80000000u);
    file.SetString(kKey, "Path", "/home/a \"b\"\\c\nd\re");
    file.SetString("other", "", "");
    const std::string text = file.Serialize();
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("\"Units\"=dword:80000000\n"), std::string::npos);
    const auto back = RegistryFile::Parse(text);
    EXPECT_EQ(back.Keys(), file.Keys());
}

TEST(RegistryFile, ByteOrderMarkAndEmbeddedNulsAreHarmless) {
    const char raw[] = "\xEF\xBB\xBF[k]\n\"a\\0\"=\"x\0y\"\n";
    const std::string text(raw, sizeof raw - 1);
    const auto file = RegistryFile::Parse(text);
    ASSERT_TRUE(file.HasKey("k"));
    ASSERT_EQ(file.Keys()[0].values.size(), 1u);
    EXPECT_EQ(file.Keys()[0].values[0].second.text, std::string("x\0y", 3));
}

}  // namespace
}  // namespace vx
