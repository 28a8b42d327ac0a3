#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace sheets::xls {

// Little-endian fields of the binary format. Readers take an offset that the caller has checked
// against the size (or use Reader, which checks).
inline std::uint16_t get16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
inline std::uint32_t get32(std::string_view b, std::size_t at) {
    return get16(b, at) | static_cast<std::uint32_t>(get16(b, at + 2)) << 16;
}
inline std::uint64_t get64(std::string_view b, std::size_t at) {
    return get32(b, at) | static_cast<std::uint64_t>(get32(b, at + 4)) << 32;
}
inline void put16(std::string& b, std::size_t at, unsigned v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(std::string& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
inline void put64(std::string& b, std::size_t at, std::uint64_t v) {
    put32(b, at, static_cast<std::uint32_t>(v));
    put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void append16(std::string& b, unsigned v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
}
inline void append32(std::string& b, std::uint32_t v) {
    append16(b, v & 0xFFFF);
    append16(b, v >> 16);
}
inline void appendDouble(std::string& b, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    append32(b, static_cast<std::uint32_t>(bits));
    append32(b, static_cast<std::uint32_t>(bits >> 32));
}

}  // namespace sheets::xls
