#include "sheets/cell_value.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "sheets/failure.h"

namespace sheets {
namespace {

std::u16string ascii(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// Significant digits "d…" times 10^exponent, written out in full.
std::string positionalText(const std::string& digits, int exponent) {
    if (exponent < 0) return "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    const auto intLen = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intLen) return digits + std::string(intLen - digits.size(), '0');
    return digits.substr(0, intLen) + "." + digits.substr(intLen);
}

// The same as d.ddE±x.
std::string scientificText(const std::string& digits, int exponent) {
    std::string out = digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    return out + (exponent < 0 ? "E-" : "E+") + std::to_string(std::abs(exponent));
}

}  // namespace

std::u16string generalNumberText(double v) {
    if (std::isnan(v) || std::isinf(v))
        return ascii(std::isnan(v) ? "NaN" : (v > 0 ? "Infinity" : "-Infinity"));
    if (v == 0) return u"0";

    // 15 significant digits: d.dddddddddddddde±x
    char buf[40];
    std::string s(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14).ptr);
    const bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const auto ePos = s.find('e');
    const int exponent = std::stoi(s.substr(ePos + 1));
    std::string digits = s.substr(0, 1) + s.substr(2, ePos - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    const std::string out = exponent >= -15 && exponent < 15 ? positionalText(digits, exponent)
                                                             : scientificText(digits, exponent);
    return ascii(negative ? "-" + out : out);
}

std::u16string dateText(double serial) {
    using namespace std::chrono;
    double dayPart = std::floor(serial);
    long long seconds = std::llround((serial - dayPart) * 86400.0);
    if (seconds >= 86400) {
        dayPart += 1;
        seconds -= 86400;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    if (serial >= 0 && dayPart == 0) return ascii(time);

    const year_month_day ymd{sys_days{1899y / December / 30} + days{static_cast<long long>(dayPart)}};
    char date[32];
    std::snprintf(date, sizeof date, "%d/%u/%u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    std::string out = date;
    if (seconds != 0) out += std::string(" ") + time;
    return ascii(out);
}

const NumberFormat* shownFormat(const CellValue& v) {
    static const NumberFormat date{u"YYYY/M/D", u"en-US"}, dateTime{u"YYYY/M/D H:MM:SS", u"en-US"},
        time{u"H:MM:SS", u"en-US"}, boolean{u"BOOLEAN", u"en-US"};
    if (v.format()) return v.format().get();
    if (v.kind() == CellValue::Kind::Boolean) return &boolean;
    if (v.kind() != CellValue::Kind::Date) return nullptr;
    const double day = std::floor(v.numberValue());
    if (v.numberValue() >= 0 && day == 0) return &time;
    return v.numberValue() == day ? &date : &dateTime;
}

bool CellValue::operator==(const CellValue& other) const {
    if (kind_ != other.kind_ || value_ != other.value_) return false;
    if (format_ == other.format_) return true;
    return format_ && other.format_ && *format_ == *other.format_;
}

std::u16string CellValue::toText() const {
    switch (kind_) {
        case Kind::Empty:
            return {};
        case Kind::Number:
            return generalNumberText(numberValue());
        case Kind::Text:
            return textValue();
        case Kind::Date:
            return dateText(numberValue());
        case Kind::Boolean:
            return numberValue() != 0 ? u"True" : u"False";
        case Kind::Error:
            break;
    }
    throw Failure("an error value cannot be turned into text");
}

}  // namespace sheets
