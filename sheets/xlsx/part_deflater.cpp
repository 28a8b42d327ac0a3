#include "sheets/xlsx/part_deflater.h"

#include <zlib.h>

#include "sheets/failure.h"

namespace sheets::xlsx {
namespace {

constexpr std::size_t kQueued = 4;  // pieces waiting at most

// A raw deflate stream (the zip entry's data, without zlib's header and trailer).
class Deflate {
public:
    explicit Deflate(int level) {
        if (deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw Failure("cannot start deflating a part");
    }
    ~Deflate() { deflateEnd(&z_); }
    Deflate(const Deflate&) = delete;
    Deflate& operator=(const Deflate&) = delete;

    void add(const std::string& in, std::string& out, int flush) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z_.avail_in = static_cast<uInt>(in.size());
        for (;;) {
            const std::size_t had = out.size();
            out.resize(had + std::max<std::size_t>(in.size() / 2, 1 << 16));
            z_.next_out = reinterpret_cast<Bytef*>(out.data() + had);
            z_.avail_out = static_cast<uInt>(out.size() - had);
            const int result = deflate(&z_, flush);
            out.resize(out.size() - z_.avail_out);
            if (result == Z_STREAM_ERROR) throw Failure("deflating a part failed");
            if (z_.avail_in == 0 && (flush != Z_FINISH || result == Z_STREAM_END)) return;
        }
    }

private:
    z_stream z_{};
};

}  // namespace

PartDeflater::PartDeflater(int level) : thread_([this, level] { deflateAll(level); }) {}

PartDeflater::~PartDeflater() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
        pieces_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void PartDeflater::write(std::string piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pieces_.size() < kQueued || done_; });
    if (done_) return;  // failed: finish() says so
    pieces_.push_back(std::move(piece));
    changed_.notify_all();
}

DeflatedPart PartDeflater::finish() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (error_) std::rethrow_exception(error_);
    return std::move(part_);
}

void PartDeflater::deflateAll(int level) {
    try {
        Deflate stream(level);
        for (;;) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !pieces_.empty() || finished_; });
            if (pieces_.empty()) break;
            const std::string piece = std::move(pieces_.front());
            pieces_.pop_front();
            lock.unlock();
            changed_.notify_all();
            part_.crc = crc32_z(part_.crc, reinterpret_cast<const Bytef*>(piece.data()), piece.size());
            part_.size += piece.size();
            stream.add(piece, part_.data, Z_NO_FLUSH);
        }
        stream.add(std::string(), part_.data, Z_FINISH);
    } catch (...) {
        error_ = std::current_exception();
    }
    const std::lock_guard lock(mutex_);
    done_ = true;
    changed_.notify_all();
}

}  // namespace sheets::xlsx
