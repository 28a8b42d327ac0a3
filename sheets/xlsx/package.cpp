#include "sheets/xlsx/package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "sheets/file_replace.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

std::string zipError(zip_t* archive) {
    return zip_strerror(archive);
}

bool isCompoundFile(const std::string& path) {
    static constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::ifstream in(path, std::ios::binary);
    char head[8] = {};
    in.read(head, sizeof head);
    return in.gcount() == 8 && std::memcmp(head, kSignature, 8) == 0;
}

// The new archive at a path replaceFile gives; discarded unless it was written.
class NewArchive {
public:
    explicit NewArchive(const std::string& path) : path_(path) {
        int error = 0;
        archive_ = zip_open(path.c_str(), ZIP_TRUNCATE, &error);
        if (!archive_) throw Failure("cannot start the new package " + path);
    }
    ~NewArchive() {
        if (archive_) zip_discard(archive_);
    }
    NewArchive(const NewArchive&) = delete;
    NewArchive& operator=(const NewArchive&) = delete;

    zip_t* get() { return archive_; }
    void close() {
        if (zip_close(archive_) != 0) throw Failure("cannot write " + path_ + ": " + zipError(archive_));
        archive_ = nullptr;
    }

private:
    std::string path_;
    zip_t* archive_ = nullptr;
};

// Adds entry `index` of `from` to `to`: as it is, still compressed, or with new content.
void addEntry(zip_t* to, zip_t* from, zip_uint64_t index, const std::string& name,
              const std::string* content) {
    zip_source_t* source = content ? zip_source_buffer(to, content->data(), content->size(), 0)
                                   : zip_source_zip(to, from, index, ZIP_FL_COMPRESSED, 0, -1);
    if (!source) throw Failure("cannot copy " + name + ": " + zipError(to));
    const auto added = zip_file_add(to, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (added < 0) {
        zip_source_free(source);
        throw Failure("cannot add " + name + ": " + zipError(to));
    }
    if (!content) return;
    // Large sheets are packed faster at a lower level; deflating them takes most of the time.
    const zip_uint32_t level = content->size() > (16u << 20) ? 1 : 6;
    zip_set_file_compression(to, static_cast<zip_uint64_t>(added), ZIP_CM_DEFLATE, level);
    zip_stat_t st;
    if (zip_stat_index(from, index, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME))
        zip_file_set_mtime(to, static_cast<zip_uint64_t>(added), st.mtime, 0);
}

}  // namespace

Package::Package(const std::string& path) : path_(path) {
    if (isCompoundFile(path)) throw Unsupported(path + " is an encrypted (compound) file", u"文件已加密");
    int error = 0;
    archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive_)
        throw Unsupported(path + " is not a zip package (libzip error " + std::to_string(error) + ")",
                          u"文件不是有效的 xlsx 包");
    const auto count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        names_.emplace_back(zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0));
}

Package::~Package() {
    if (archive_) zip_discard(archive_);
}

bool Package::has(const std::string& part) const {
    return !removed_.count(part) &&
           (replaced_.count(part) || zip_name_locate(archive_, part.c_str(), 0) >= 0);
}

std::uint64_t Package::sizeOf(const std::string& part) const {
    zip_stat_t st;
    const auto index = zip_name_locate(archive_, part.c_str(), 0);
    if (index < 0 || zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0) return 0;
    return (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
}

PartStream::PartStream(const Package& package, const std::string& part)
    : part_(part), size_(package.sizeOf(part)) {
    const auto index = zip_name_locate(package.archive_, part.c_str(), 0);
    if (index >= 0) file_ = zip_fopen_index(package.archive_, static_cast<zip_uint64_t>(index), 0);
    if (!file_) throw Failure("cannot read " + part + " of " + package.path_);
}

PartStream::~PartStream() {
    if (file_) zip_fclose(file_);
}

std::size_t PartStream::read(char* out, std::size_t max) {
    const auto got = zip_fread(file_, out, max);
    if (got < 0) throw Failure("cannot inflate " + part_ + ": " + zip_file_strerror(file_));
    return static_cast<std::size_t>(got);
}

std::vector<std::string> Package::parts() const {
    std::vector<std::string> out;
    for (const auto& n : names_) {
        if (!removed_.count(n)) out.push_back(n);
    }
    return out;
}

std::string Package::read(const std::string& part) const {
    if (const auto it = replaced_.find(part); it != replaced_.end()) return it->second;
    zip_stat_t st;
    const auto index = zip_name_locate(archive_, part.c_str(), 0);
    if (index < 0 || zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0) {
        throw Failure("no part " + part + " in " + path_);
    }
    std::string out(st.size, '\0');
    zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (!file) throw Failure("cannot read " + part + ": " + zipError(archive_));
    const auto got = zip_fread(file, out.data(), st.size);
    zip_fclose(file);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
        throw Failure("cannot read " + part + " of " + path_);
    return out;
}

void Package::replace(const std::string& part, std::string content) {
    replaced_[part] = std::move(content);
}

void Package::remove(const std::string& part) {
    removed_.insert(part);
}

void Package::writeOver(const std::optional<FileIdentity>& expected) {
    replaceFile(path_, expected, [&](const std::string& newFile) {
        NewArchive out(newFile);
        for (zip_uint64_t i = 0; i < names_.size(); ++i) {
            if (removed_.count(names_[i])) continue;
            const auto changed = replaced_.find(names_[i]);
            addEntry(out.get(), archive_, i, names_[i],
                     changed == replaced_.end() ? nullptr : &changed->second);
        }
        out.close();
    });
}

std::string resolvePartName(const std::string& sourcePart, const std::string& target) {
    std::string joined = !target.empty() && target[0] == '/'
                             ? target.substr(1)
                             : sourcePart.substr(0, sourcePart.rfind('/') + 1) + target;
    std::vector<std::string> segments;
    std::size_t pos = 0;
    while (pos <= joined.size()) {
        auto end = joined.find('/', pos);
        if (end == std::string::npos) end = joined.size();
        const auto seg = joined.substr(pos, end - pos);
        if (seg == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!seg.empty() && seg != ".") {
            segments.push_back(seg);
        }
        pos = end + 1;
    }
    std::string out;
    for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
    return out;
}

std::string relationshipsPartOf(const std::string& part) {
    const auto slash = part.rfind('/');
    const auto folder = slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
    return folder + "_rels/" + part.substr(slash == std::string::npos ? 0 : slash + 1) + ".rels";
}

}  // namespace sheets::xlsx
