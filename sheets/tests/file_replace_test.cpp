#include "sheets/file_replace.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "sheets/failure.h"

namespace sheets {
namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "pellucor-replace-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(path)) out.insert(e.path().filename().string());
        return out;
    }
    fs::path path;
};

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string attribute(const fs::path& p, const char* name) {
    char value[256];
    const auto size = ::getxattr(p.c_str(), name, value, sizeof value);
    return size < 0 ? "(none)" : std::string(value, static_cast<std::size_t>(size));
}

// An access ACL with read access for one more user, as setfacl -m u:65534:r writes it.
std::string aclWithReader() {
    std::string acl("\x02\0\0\0", 4);
    const auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        char e[8];
        std::memcpy(e, &tag, 2), std::memcpy(e + 2, &perm, 2), std::memcpy(e + 4, &id, 4);
        acl.append(e, 8);
    };
    entry(0x01, 6, 0xFFFFFFFF), entry(0x02, 4, 65534), entry(0x04, 4, 0xFFFFFFFF), entry(0x10, 4, 0xFFFFFFFF),
        entry(0x20, 0, 0xFFFFFFFF);
    return acl;
}

void replaceWith(const fs::path& file, const std::string& bytes,
                 const std::optional<FileIdentity>& expected = std::nullopt) {
    replaceFile(file.string(), expected, [&](const std::string& newFile) { writeFile(newFile, bytes); });
}

// What the file is stays: its mode, its attributes and ACL, its other names, the link to it.
TEST(FileReplace, KeepsWhatTheFileIs) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& file)> hold;
        std::function<void(const fs::path& file)> check;
    };
    const std::string acl = aclWithReader();
    const Case cases[] = {
        {"mode, extended attribute and ACL",
         [&](const fs::path& f) {
             ::chmod(f.c_str(), 0640);
             ASSERT_EQ(::setxattr(f.c_str(), "user.origin", "mail", 4, 0), 0);
             ASSERT_EQ(::setxattr(f.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
         },
         [&](const fs::path& f) {
             struct stat st {};
             ::stat(f.c_str(), &st);
             EXPECT_EQ(st.st_mode & 07777, 0640u);
             EXPECT_EQ(attribute(f, "user.origin"), "mail");
             EXPECT_EQ(attribute(f, "system.posix_acl_access"), acl);
         }},
        {"a second name", [](const fs::path& f) { fs::create_hard_link(f, f.parent_path() / "second.xlsx"); },
         [](const fs::path& f) {
             EXPECT_EQ(bytesOf(f.parent_path() / "second.xlsx"), "new");
             EXPECT_EQ(fs::hard_link_count(f), 2u);
         }},
        {"a symbolic link to it",
         [](const fs::path& f) {
             fs::rename(f, f.parent_path() / "target.xlsx");
             fs::create_symlink("target.xlsx", f);
         },
         [](const fs::path& f) {
             EXPECT_TRUE(fs::is_symlink(f));
             EXPECT_EQ(bytesOf(f.parent_path() / "target.xlsx"), "new");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        const auto file = folder.path / "book.xlsx";
        writeFile(file, "old");
        c.hold(file);
        const auto before = folder.names();
        replaceWith(file, "new");
        EXPECT_EQ(bytesOf(file), "new");
        EXPECT_EQ(folder.names(), before);
        c.check(file);
    }
}

// Temporary files of writes cut short go; one a write still holds stays, and so does anything else.
TEST(FileReplace, RemovesStaleTemporariesOnly) {
    Folder folder;
    const auto file = folder.path / "book.xlsx";
    writeFile(file, "old");
    for (const char* name : {".pellucor-AbC123.xlsx", ".pellucor-AbC123.xlsx.Zz9Yy8", ".pellucor-Lck001.xls",
                             ".pellucor-notes.txt", "other.xlsx"})
        writeFile(folder.path / name, "x");
    const int held = ::open((folder.path / ".pellucor-Lck001.xls").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    replaceWith(file, "new");
    ::close(held);
    EXPECT_EQ(folder.names(), (std::set<std::string>{".pellucor-Lck001.xls", ".pellucor-notes.txt",
                                                     "book.xlsx", "other.xlsx"}));
}

// The original stays as it was, and nothing is left beside it.
TEST(FileReplace, LeavesTheOriginalWhenItCannotReplaceIt) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& file)> act;
        FailureCause::Kind kind;
    };
    const Case cases[] = {
        {"another program saved over it",
         [](const fs::path& f) {
             auto identity = identityOf(f.string());
             identity->size += 1;
             replaceWith(f, "new", identity);
         },
         FailureCause::Kind::FileChanged},
        {"the new file could not be made",
         [](const fs::path& f) {
             replaceFile(f.string(), std::nullopt, [](const std::string&) {
                 throw Failure("no room", FailureCause(FailureCause::Kind::NoSpace));
             });
         },
         FailureCause::Kind::NoSpace},
        {"it is gone", [](const fs::path& f) { replaceWith(f.parent_path() / "gone.xlsx", "new"); },
         FailureCause::Kind::FileMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        const auto file = folder.path / "book.xlsx";
        writeFile(file, "old");
        try {
            c.act(file);
            ADD_FAILURE() << "replaced";
        } catch (const Failure& f) {
            EXPECT_EQ(f.cause().kind, c.kind) << f.what();
        }
        EXPECT_EQ(bytesOf(file), "old");
        EXPECT_EQ(folder.names(), std::set<std::string>{"book.xlsx"});
    }
}

}  // namespace
}  // namespace sheets
