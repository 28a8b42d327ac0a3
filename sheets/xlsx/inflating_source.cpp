#include "sheets/xlsx/inflating_source.h"

#include <cstring>

namespace sheets::xlsx {
namespace {

constexpr std::size_t kPiece = 4 << 20;
constexpr std::size_t kAhead = 3;  // pieces inflated before the reader takes them

}  // namespace

InflatingSource::InflatingSource(const Package& package, const std::string& part) : stream_(package, part) {
    if (stream_.size() > kPiece) thread_ = std::thread([this] { inflate(); });
}

InflatingSource::~InflatingSource() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void InflatingSource::inflate() {
    try {
        for (;;) {
            std::vector<char> piece;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopping_ || ready_.size() < kAhead; });
                if (stopping_) return;
                if (!spare_.empty()) {
                    piece = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            piece.resize(kPiece);
            std::size_t filled = 0;
            while (filled < kPiece) {
                const std::size_t got = stream_.read(piece.data() + filled, kPiece - filled);
                if (got == 0) break;
                filled += got;
            }
            piece.resize(filled);
            std::lock_guard lock(mutex_);
            if (filled == 0) {
                finished_ = true;
            } else {
                ready_.push_back(std::move(piece));
            }
            changed_.notify_all();
            if (finished_) return;
        }
    } catch (...) {
        std::lock_guard lock(mutex_);
        error_ = std::current_exception();
        finished_ = true;
        changed_.notify_all();
    }
}

std::size_t InflatingSource::read(char* out, std::size_t max) {
    if (!thread_.joinable()) return stream_.read(out, max);
    if (taken_ == current_.size()) {
        std::unique_lock lock(mutex_);
        if (!current_.empty()) spare_.push_back(std::move(current_));
        current_.clear();
        taken_ = 0;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !ready_.empty() || finished_; });
        if (ready_.empty()) {
            if (error_) std::rethrow_exception(error_);
            return 0;
        }
        current_ = std::move(ready_.front());
        ready_.pop_front();
        changed_.notify_all();
    }
    const std::size_t n = std::min(max, current_.size() - taken_);
    std::memcpy(out, current_.data() + taken_, n);
    taken_ += n;
    return n;
}

}  // namespace sheets::xlsx
