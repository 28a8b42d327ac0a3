#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace sheets::xlsx {

// A part's content deflated as it is made, ready to go into a package as it is.
struct DeflatedPart {
    std::string data;  // raw deflate
    std::uint32_t crc = 0;
    std::uint64_t size = 0;  // uncompressed
};

// Deflates a part on a thread of its own while the writer makes it piece by piece, so that packing a
// large sheet takes the writer no time of its own on two cores and the sheet is never held whole.
// Pieces wait in a short queue: a writer ahead of the deflating waits for it.
class PartDeflater {
public:
    // level: zlib's, 1 (fastest) to 9.
    explicit PartDeflater(int level);
    // The level for a part of so many bytes: large ones are packed faster at a lower level, since
    // deflating them takes most of a write's time.
    static int levelFor(std::uint64_t size) { return size > (16u << 20) ? 1 : 6; }
    ~PartDeflater();
    PartDeflater(const PartDeflater&) = delete;
    PartDeflater& operator=(const PartDeflater&) = delete;

    void write(std::string piece);
    // Everything written, deflated. Throws Failure when zlib failed.
    DeflatedPart finish();

private:
    void deflateAll(int level);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> pieces_;
    bool finished_ = false, done_ = false;
    std::exception_ptr error_;
    DeflatedPart part_;
    std::thread thread_;  // last: it starts once the rest is made
};

}  // namespace sheets::xlsx
