#include "sheets/xlsx/package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "sheets/file_replace.h"
#include "sheets/xlsx/xlsx_writer.h"
#include "sheets/xlsx/xml.h"

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

// The new package, made in memory and then written into the file replaceFile gives: no other file
// (libzip's own temporary one) is ever made beside the workbook.
class NewArchive {
public:
    NewArchive() {
        zip_error_t error;
        zip_error_init(&error);
        source_ = zip_source_buffer_create(nullptr, 0, 0, &error);
        if (source_) {
            zip_source_keep(source_);
            archive_ = zip_open_from_source(source_, ZIP_TRUNCATE, &error);
        }
        const std::string why = zip_error_strerror(&error);
        zip_error_fini(&error);
        if (!archive_) throw Failure("cannot start a new package: " + why);
    }
    ~NewArchive() {
        if (archive_) zip_discard(archive_);
        if (source_) zip_source_free(source_);
    }
    NewArchive(const NewArchive&) = delete;
    NewArchive& operator=(const NewArchive&) = delete;

    zip_t* get() { return archive_; }

    // Finishes the package and writes it into `file`; failures name `shownPath`.
    void writeTo(const std::string& file, const std::string& shownPath) {
        if (zip_close(archive_) != 0) throw Failure("cannot make the new package: " + zipError(archive_));
        archive_ = nullptr;
        if (zip_source_open(source_) != 0) throw Failure("cannot read the new package back");
        const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        const int error = fd < 0 ? errno : copyTo(fd);
        zip_source_close(source_);
        if (fd >= 0 && ::close(fd) != 0 && error == 0) fail(file, shownPath, errno);
        if (error != 0) fail(file, shownPath, error);
    }

private:
    [[noreturn]] static void fail(const std::string& file, const std::string& shownPath, int error) {
        throw Failure("cannot write " + file + ": " + std::strerror(error), causeOfErrno(error, shownPath));
    }

    // 0, or the errno of the write that failed.
    int copyTo(int fd) {
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const auto got = zip_source_read(source_, buffer.data(), buffer.size());
            if (got < 0) return EIO;
            if (got == 0) return 0;
            for (zip_int64_t done = 0; done < got;) {
                const auto put = ::write(fd, buffer.data() + done, static_cast<std::size_t>(got - done));
                if (put < 0) return errno;
                done += put;
            }
        }
    }

    zip_source_t* source_ = nullptr;
    zip_t* archive_ = nullptr;
};

// A part deflated already, handed to libzip as compressed data, which it copies as it is.
class DeflatedSource {
public:
    static zip_source_t* make(zip_t* archive, const DeflatedPart& part) {
        auto* state = new DeflatedSource(part);
        zip_source_t* source = zip_source_function(archive, &DeflatedSource::command, state);
        if (!source) delete state;
        return source;
    }

private:
    explicit DeflatedSource(const DeflatedPart& part) : part_(part) { zip_error_init(&error_); }
    ~DeflatedSource() { zip_error_fini(&error_); }

    static zip_int64_t command(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
        auto& self = *static_cast<DeflatedSource*>(state);
        switch (command) {
            case ZIP_SOURCE_OPEN:
                self.position_ = 0;
                return 0;
            case ZIP_SOURCE_READ: {
                const auto n = std::min<zip_uint64_t>(length, self.part_.data.size() - self.position_);
                std::memcpy(data, self.part_.data.data() + self.position_, n);
                self.position_ += n;
                return static_cast<zip_int64_t>(n);
            }
            case ZIP_SOURCE_CLOSE:
                return 0;
            case ZIP_SOURCE_STAT:
                return self.stat(data, length);
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&self.error_, data, length);
            case ZIP_SOURCE_FREE:
                delete &self;
                return 0;
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                      ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
            default:
                zip_error_set(&self.error_, ZIP_ER_OPNOTSUPP, 0);
                return -1;
        }
    }

    zip_int64_t stat(void* data, zip_uint64_t length) {
        if (length < sizeof(zip_stat_t)) {
            zip_error_set(&error_, ZIP_ER_INVAL, 0);
            return -1;
        }
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
        st->size = part_.size;
        st->comp_size = part_.data.size();
        st->comp_method = ZIP_CM_DEFLATE;
        st->crc = part_.crc;
        return sizeof(zip_stat_t);
    }

    const DeflatedPart& part_;
    zip_uint64_t position_ = 0;
    zip_error_t error_;
};

// Adds entry `index` of `from` to `to`: as it is, still compressed, or with new content, plain or
// deflated already.
void addEntry(zip_t* to, zip_t* from, zip_uint64_t index, const std::string& name, const std::string* content,
              const DeflatedPart* deflated = nullptr) {
    zip_source_t* source = content    ? zip_source_buffer(to, content->data(), content->size(), 0)
                           : deflated ? DeflatedSource::make(to, *deflated)
                                      : zip_source_zip(to, from, index, ZIP_FL_COMPRESSED, 0, -1);
    if (!source) throw Failure("cannot copy " + name + ": " + zipError(to));
    const auto added = zip_file_add(to, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (added < 0) {
        zip_source_free(source);
        throw Failure("cannot add " + name + ": " + zipError(to));
    }
    if (!content && !deflated) return;
    if (content)
        zip_set_file_compression(to, static_cast<zip_uint64_t>(added), ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(PartDeflater::levelFor(content->size())));
    zip_stat_t st;
    if (from && zip_stat_index(from, index, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME))
        zip_file_set_mtime(to, static_cast<zip_uint64_t>(added), st.mtime, 0);
}

}  // namespace

Package::Package(const std::string& path) : path_(path) {
    if (isCompoundFile(path)) throw Unsupported(path + " is an encrypted (compound) file", u"文件已加密");
    int error = 0;
    archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive_) {
        const int systemError = errno;
        zip_error_t described;
        zip_error_init_with_code(&described, error);
        const std::string detail =
            path + " cannot be opened as a zip package: " + zip_error_strerror(&described);
        const bool fromSystem = zip_error_system_type(&described) == ZIP_ET_SYS;
        zip_error_fini(&described);
        // The office read it, so a package that is not one to libzip is a damaged one.
        if (fromSystem) throw Failure(detail, causeOfErrno(systemError, path));
        damaged(detail);
    }
    const auto count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        names_.emplace_back(zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0));
}

Package::~Package() {
    if (archive_) zip_discard(archive_);
}

bool Package::has(const std::string& part) const {
    return !removed_.count(part) && (replaced_.count(part) || deflated_.count(part) ||
                                     zip_name_locate(archive_, part.c_str(), 0) >= 0);
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
    if (deflated_.count(part)) throw Failure("part " + part + " of " + path_ + " was replaced deflated");
    zip_stat_t st;
    const auto index = zip_name_locate(archive_, part.c_str(), 0);
    if (index < 0 || zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0) {
        throw Failure("no part " + part + " in " + path_);
    }
    std::string out(st.size, '\0');
    zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (!file) damaged("cannot read " + part + " of " + path_ + ": " + zipError(archive_));
    const auto got = zip_fread(file, out.data(), st.size);
    const std::string why = zip_error_strerror(zip_file_get_error(file));
    zip_fclose(file);
    // A part whose data or checksum is wrong.
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
        damaged("cannot read " + part + " of " + path_ + ": " + why);
    return out;
}

void Package::replace(const std::string& part, std::string content) {
    deflated_.erase(part);
    replaced_[part] = std::move(content);
}

void Package::replace(const std::string& part, DeflatedPart content) {
    replaced_.erase(part);
    deflated_[part] = std::move(content);
}

void Package::remove(const std::string& part) {
    removed_.insert(part);
}

void Package::writeOver(const std::optional<FileIdentity>& expected) {
    replaceFile(path_, expected, [&](const std::string& newFile) {
        NewArchive out;
        for (zip_uint64_t i = 0; i < names_.size(); ++i) {
            if (removed_.count(names_[i])) continue;
            const auto changed = replaced_.find(names_[i]);
            const auto deflated = deflated_.find(names_[i]);
            addEntry(out.get(), archive_, i, names_[i],
                     changed == replaced_.end() ? nullptr : &changed->second,
                     deflated == deflated_.end() ? nullptr : &deflated->second);
        }
        const auto isNew = [&](const std::string& name) {
            return std::find(names_.begin(), names_.end(), name) == names_.end();
        };
        for (const auto& [name, content] : replaced_)
            if (isNew(name)) addEntry(out.get(), nullptr, 0, name, &content);
        for (const auto& [name, content] : deflated_)
            if (isNew(name)) addEntry(out.get(), nullptr, 0, name, nullptr, &content);
        out.writeTo(newFile, path_);
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
