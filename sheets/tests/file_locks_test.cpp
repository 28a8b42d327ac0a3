#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sheets/file_locks.h"
#include "sheets/utf8.h"

namespace sheets {
namespace {

namespace fs = std::filesystem;

// Excel's owner file as Excel writes it: the name in the code page after a length byte, spaces up
// to offset 55, the length again as 16 bits and the name in UTF-16LE, spaces to 165 bytes.
std::string excelOwnerFile(const std::u16string& user) {
    std::string out(1, static_cast<char>(user.size()));
    for (const char16_t c : user) out += static_cast<char>(c < 0x80 ? c : '?');
    out.resize(55, ' ');
    out += static_cast<char>(user.size());
    out += '\0';
    for (const char16_t c : user) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    out.resize(165, ' ');
    return out;
}

TEST(FileLocks, AnotherProgramsHoldIsFoundBesideTheFile) {
    const fs::path dir = fs::temp_directory_path() / ("pellucor-locks-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string book = (dir / "子表.xlsx").string();
    std::ofstream(book) << "x";
    struct Case {
        std::string lockName, content;
        std::u16string program, user, since;
    };
    const Case cases[] = {
        {".~lock.子表.xlsx#", "张三,zs,host,07.12.2026 09:30,file:///p;", u"LibreOffice", u"张三",
         u"07.12.2026 09:30"},
        {".~lock.子表.xlsx#", ",zs,host,07.12.2026 09:30,file:///p;", u"LibreOffice", u"zs",
         u"07.12.2026 09:30"},
        {"~$子表.xlsx", excelOwnerFile(u"李四"), u"Microsoft Excel", u"李四", u""},
        {"~$子表.xlsx", "garbage", u"Microsoft Excel", u"", u""},
        {".~子表.xlsx", "", u"WPS Office", u"", u""},
    };
    EXPECT_FALSE(heldByAnotherProgram(book));
    EXPECT_FALSE(whyNotStorable(book));
    EXPECT_FALSE(whyNotStorable((dir / "missing.xlsx").string())) << "opening it says why";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lockName);
        std::ofstream(dir / c.lockName, std::ios::binary) << c.content;
        for (const auto& hold : {heldByAnotherProgram(book), whyNotStorable(book)}) {
            ASSERT_TRUE(hold);
            EXPECT_EQ(hold->kind, FailureCause::Kind::HeldByProgram);
            EXPECT_EQ(std::tuple(hold->file, hold->program, hold->user, hold->since),
                      std::tuple(std::u16string(u"子表.xlsx"), c.program, c.user, c.since));
        }
        fs::remove(dir / c.lockName);
    }
    fs::remove_all(dir);
}

TEST(Utf8, MalformedSequencesBecomeReplacementCharacters) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"父表 A1", u"父表 A1"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\xFF"
         "b",
         u"a\uFFFDb"},
        {"\xE7\x88", u"\uFFFD\uFFFD"},            // cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // a surrogate
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(fromUtf8(bytes), text) << bytes;
    EXPECT_EQ(toUtf8(u"父\U0001F600"), "父\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8(std::u16string(1, 0xD800)), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace sheets
