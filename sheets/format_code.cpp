#include "sheets/format_code.h"

#include "sheets/utf8.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace sheets {
namespace {

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "[...]": locale and currency kept, colours in Excel's spelling, elapsed time in lower case,
// conditions kept; calendars, native numerals and the like are not converted.
std::optional<std::string> bracket(const std::string& inside) {
    static constexpr std::array colours{"Black",   "Blue", "Cyan",  "Green",
                                        "Magenta", "Red",  "White", "Yellow"};
    if (inside.empty()) return std::nullopt;
    if (inside[0] == '$' || inside[0] == '<' || inside[0] == '>' || inside[0] == '=') return inside;
    const auto up = upper(inside);
    for (std::string_view c : colours) {
        if (up == upper(std::string(c))) return std::string(c);
    }
    if (up.rfind("COLOR", 0) == 0 && up.size() > 5 && std::all_of(up.begin() + 5, up.end(), ::isdigit)) {
        return "Color" + up.substr(5);
    }
    if (std::all_of(up.begin(), up.end(), [&](char c) { return c == up[0]; }) &&
        std::string_view("HMS").find(up[0]) != std::string_view::npos) {
        std::string lowered = inside;
        for (auto& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lowered;
    }
    return std::nullopt;
}

class Converter {
public:
    explicit Converter(std::string code) : s_(std::move(code)) {}

    std::optional<std::string> run() {
        while (i_ < s_.size()) {
            if (!step()) return std::nullopt;
        }
        return out_;
    }

private:
    bool startsWith(std::string_view word) const { return upper(s_.substr(i_, word.size())) == word; }

    bool step() {
        const char c = s_[i_];
        if (c == '"') return quoted();
        if (c == '\\' || c == '_' || c == '*') return copy(2);
        if (c == '[') {
            const auto close = s_.find(']', i_);
            if (close == std::string::npos) return false;
            const auto converted = bracket(s_.substr(i_ + 1, close - i_ - 1));
            if (!converted) return false;
            out_ += "[" + *converted + "]";
            i_ = close + 1;
            return true;
        }
        if (startsWith("GENERAL")) return word("General", 7);
        if (startsWith("AM/PM")) return copy(5);
        if (startsWith("A/P")) return copy(3);
        if (c == 'E' || c == 'e')
            return i_ + 1 < s_.size() && (s_[i_ + 1] == '+' || s_[i_ + 1] == '-') && copy(2);
        if (std::string_view("YMDHSymdhs").find(c) != std::string_view::npos) {
            out_ += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            ++i_;
            return true;
        }
        if (c == 'N') return dayName();
        if (std::isalpha(static_cast<unsigned char>(c))) return false;  // eras, quarters, weeks, ...
        if (static_cast<unsigned char>(c) >= 0x80) return literal();
        return copy(1);
    }

    bool copy(std::size_t n) {
        if (i_ + n > s_.size()) return false;
        out_ += s_.substr(i_, n);
        i_ += n;
        return true;
    }
    bool word(std::string_view w, std::size_t length) {
        out_ += w;
        i_ += length;
        return true;
    }
    bool quoted() {
        const auto close = s_.find('"', i_ + 1);
        return close != std::string::npos && copy(close + 1 - i_);
    }
    // Text outside ASCII, quoted so that no reader takes it for a code.
    bool literal() {
        auto end = i_;
        while (end < s_.size() && static_cast<unsigned char>(s_[end]) >= 0x80) ++end;
        out_ += '"';
        out_.append(s_, i_, end - i_);
        out_ += '"';
        i_ = end;
        return true;
    }
    // NN: short day name, NNN: long day name.
    bool dayName() {
        auto end = i_;
        while (end < s_.size() && s_[end] == 'N') ++end;
        const auto n = end - i_;
        if (n != 2 && n != 3) return false;
        out_ += n == 2 ? "ddd" : "dddd";
        i_ = end;
        return true;
    }

    std::string s_;
    std::size_t i_ = 0;
    std::string out_;
};

}  // namespace

std::optional<std::string> excelFormatCode(std::u16string_view officeCode) {
    auto code = toUtf8(officeCode);
    if (upper(code) == "BOOLEAN") return "General";
    if (code.empty()) return std::nullopt;
    return Converter(std::move(code)).run();
}

std::optional<std::string> shownExcelFormatCode(const CellValue& value) {
    const NumberFormat* format = shownFormat(value);
    if (!format) return std::nullopt;
    if (auto code = excelFormatCode(format->code)) return code;
    CellValue plain = value;
    plain.setFormat(nullptr);
    const NumberFormat* usual = shownFormat(plain);
    auto code = usual ? excelFormatCode(usual->code) : std::nullopt;
    return code ? code : "General";
}

int builtInFormatId(std::string_view code) {
    static constexpr std::array<std::pair<std::string_view, int>, 11> kBuiltIn{{{"General", 0},
                                                                                {"0", 1},
                                                                                {"0.00", 2},
                                                                                {"#,##0", 3},
                                                                                {"#,##0.00", 4},
                                                                                {"0%", 9},
                                                                                {"0.00%", 10},
                                                                                {"0.00E+00", 11},
                                                                                {"# ?/?", 12},
                                                                                {"# ?\?/??", 13},
                                                                                {"@", 49}}};
    for (const auto& [c, id] : kBuiltIn) {
        if (c == code) return id;
    }
    return -1;
}

}  // namespace sheets
