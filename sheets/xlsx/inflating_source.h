#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sheets/xlsx/package.h"
#include "sheets/xlsx/xml_scanner.h"

namespace sheets::xlsx {

// A part inflated on a thread of its own, a few pieces ahead of the reader, so that inflating and
// reading the XML share two cores; a small part is inflated as it is read. Stopping early (destroying
// it) ends the thread.
class InflatingSource : public ByteSource {
public:
    InflatingSource(const Package& package, const std::string& part);
    ~InflatingSource() override;
    InflatingSource(const InflatingSource&) = delete;
    InflatingSource& operator=(const InflatingSource&) = delete;

    std::size_t read(char* out, std::size_t max) override;
    std::uint64_t size() const { return stream_.size(); }

private:
    void inflate();

    PartStream stream_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> ready_;
    std::vector<std::vector<char>> spare_;
    bool finished_ = false, stopping_ = false;
    std::exception_ptr error_;
    std::vector<char> current_;
    std::size_t taken_ = 0;
    std::thread thread_;  // not started for a small part
};

}  // namespace sheets::xlsx
