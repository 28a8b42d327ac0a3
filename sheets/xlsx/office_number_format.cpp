#include "sheets/xlsx/office_number_format.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "sheets/utf8.h"

namespace sheets::xlsx {
namespace {

// The built-in formats as the office reads them in each locale (LibreOffice 7.4).
struct BuiltIn {
    int id;
    std::u16string_view enUs;
    std::u16string_view zhCn;
    bool date;
};
constexpr BuiltIn kBuiltIn[] = {
    {0, u"General", u"常规", false},
    {1, u"0", u"0", false},
    {2, u"0.00", u"0.00", false},
    {3, u"#,##0", u"#,##0", false},
    {4, u"#,##0.00", u"#,##0.00", false},
    {5, u"$#,##0_);($#,##0)", u"￥#,##0;￥-#,##0", false},
    {6, u"$#,##0_);[RED]($#,##0)", u"￥#,##0;[RED]￥-#,##0", false},
    {7, u"$#,##0.00_);($#,##0.00)", u"￥#,##0.00;￥-#,##0.00", false},
    {8, u"$#,##0.00_);[RED]($#,##0.00)", u"￥#,##0.00;[RED]￥-#,##0.00", false},
    {9, u"0%", u"0%", false},
    {10, u"0.00%", u"0.00%", false},
    {11, u"0.00E+00", u"0.00E+00", false},
    {12, u"# ?/?", u"# ?/?", false},
    {13, u"# ?\?/??", u"# ?\?/??", false},
    {14, u"M/D/YYYY", u"YYYY-M-D", true},
    {15, u"D-MMM-YY", u"D-MMM-YY", true},
    {16, u"D-MMM", u"D-MMM", true},
    {17, u"MMM-YY", u"MMM-YY", true},
    {18, u"H:MM AM/PM", u"H:MM AM/PM", true},
    {19, u"H:MM:SS AM/PM", u"H:MM:SS AM/PM", true},
    {20, u"H:MM", u"H:MM", true},
    {21, u"H:MM:SS", u"H:MM:SS", true},
    {22, u"M/D/YYYY H:MM", u"YYYY-M-D H:MM", true},
    {23, u"General", u"$#,##0_);($#,##0)", false},
    {24, u"General", u"$#,##0_);[RED]($#,##0)", false},
    {25, u"General", u"$#,##0.00_);($#,##0.00)", false},
    {26, u"General", u"$#,##0.00_);[RED]($#,##0.00)", false},
    {27, u"M/D/YYYY", u"YYYY\"年\"M\"月\"", true},
    {28, u"M/D/YYYY", u"M\"月\"D\"日\"", true},
    {29, u"M/D/YYYY", u"M\"月\"D\"日\"", true},
    {30, u"M/D/YYYY", u"M-D-YY", true},
    {31, u"M/D/YYYY", u"YYYY\"年\"M\"月\"D\"日\"", true},
    {32, u"H:MM:SS", u"H\"时\"MM\"分\"", true},
    {33, u"H:MM:SS", u"H\"时\"MM\"分\"SS\"秒\"", true},
    {34, u"H:MM:SS", u"AM/PMH\"时\"MM\"分\"", true},
    {35, u"H:MM:SS", u"AM/PMH\"时\"MM\"分\"SS\"秒\"", true},
    {36, u"M/D/YYYY", u"YYYY\"年\"M\"月\"", true},
    {37, u"#,##0_);(#,##0)", u"#,##0;-#,##0", false},
    {38, u"#,##0_);[RED](#,##0)", u"#,##0;[RED]-#,##0", false},
    {39, u"#,##0.00_);(#,##0.00)", u"#,##0.00;-#,##0.00", false},
    {40, u"#,##0.00_);[RED](#,##0.00)", u"#,##0.00;[RED]-#,##0.00", false},
    {41, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", u"_ * #,##0_ ;_ * -#,##0_ ;_ * \"-\"_ ;_ @_ ", false},
    {42, u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)", u"_ ￥* #,##0_ ;_ ￥* -#,##0_ ;_ ￥* \"-\"_ ;_ @_ ",
     false},
    {43, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)",
     u"_ * #,##0.00_ ;_ * -#,##0.00_ ;_ * \"-\"??_ ;_ @_ ", false},
    {44, u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)",
     u"_ ￥* #,##0.00_ ;_ ￥* -#,##0.00_ ;_ ￥* \"-\"??_ ;_ @_ ", false},
    {45, u"MM:SS", u"MM:SS", true},
    {46, u"[H]:MM:SS", u"[H]:MM:SS", true},
    {47, u"MM:SS.0", u"MM:SS.0", true},
    {48, u"##0.0E+0", u"##0.0E+0", false},
    {49, u"@", u"@", false},
    {50, u"M/D/YYYY", u"YYYY\"年\"M\"月\"", true},
    {51, u"M/D/YYYY", u"M\"月\"D\"日\"", true},
    {52, u"M/D/YYYY", u"YYYY\"年\"M\"月\"", true},
    {53, u"M/D/YYYY", u"M\"月\"D\"日\"", true},
    {54, u"M/D/YYYY", u"M\"月\"D\"日\"", true},
    {55, u"M/D/YYYY", u"AM/PMH\"时\"MM\"分\"", true},
    {56, u"M/D/YYYY", u"AM/PMH\"时\"MM\"分\"SS\"秒\"", true},
    {57, u"M/D/YYYY", u"YYYY\"年\"M\"月\"", true},
    {58, u"M/D/YYYY", u"M\"月\"D\"日\"", true},
    {59, u"0", u"0", false},
    {60, u"0.00", u"0.00", false},
    {61, u"#,##0", u"#,##0", false},
    {62, u"#,##0.00", u"#,##0.00", false},
    {63, u"$#,##0_);($#,##0)", u"￥#,##0;￥-#,##0", false},
    {64, u"$#,##0_);[RED]($#,##0)", u"￥#,##0;[RED]￥-#,##0", false},
    {65, u"$#,##0.00_);($#,##0.00)", u"￥#,##0.00;￥-#,##0.00", false},
    {66, u"$#,##0.00_);[RED]($#,##0.00)", u"￥#,##0.00;[RED]￥-#,##0.00", false},
    {67, u"0%", u"0%", false},
    {68, u"0.00%", u"0.00%", false},
    {69, u"# ?/?", u"# ?/?", false},
    {70, u"# ?\?/??", u"# ?\?/??", false},
    {71, u"M/D/YYYY", u"YYYY-M-D", true},
    {72, u"M/D/YYYY", u"YYYY-M-D", true},
    {73, u"D-MMM-YY", u"D-MMM-YY", true},
    {74, u"D-MMM", u"D-MMM", true},
    {75, u"MMM-YY", u"MMM-YY", true},
    {76, u"H:MM", u"H:MM", true},
    {77, u"H:MM:SS", u"H:MM:SS", true},
    {78, u"M/D/YYYY H:MM", u"YYYY-M-D H:MM", true},
    {79, u"MM:SS", u"MM:SS", true},
    {80, u"[H]:MM:SS", u"[H]:MM:SS", true},
    {81, u"MM:SS.0", u"MM:SS.0", true},
};

std::u16string upper(std::u16string s) {
    for (auto& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return s;
}

bool isDateLetter(char16_t c) {
    return std::u16string_view(u"yYmMdDhHsS").find(c) != std::u16string_view::npos;
}

OfficeNumberFormat uncertain(std::u16string why) {
    OfficeNumberFormat f;
    f.why = std::move(why);
    return f;
}

// The locales of the codes "[$-LCID]" that lead a format.
std::optional<std::u16string> localeOfLcid(std::u16string_view lcid) {
    static constexpr std::pair<std::u16string_view, std::u16string_view> kKnown[] = {
        {u"409", u"en-US"}, {u"804", u"zh-CN"}, {u"404", u"zh-TW"}, {u"C04", u"zh-HK"}, {u"411", u"ja-JP"}};
    const std::u16string up = upper(std::u16string(lcid));
    for (const auto& [code, tag] : kKnown)
        if (up == code) return std::u16string(tag);
    return std::nullopt;
}

// One section of a format code, between semicolons, in the office's notation.
class Section {
public:
    Section(std::u16string_view code, NumberLocale locale, bool leads)
        : s_(code), locale_(locale), leads_(leads) {}

    // Converts; false when the office's reading is not known with certainty (why() says why).
    bool convert() {
        if (!classify()) return false;
        for (i_ = 0; i_ < s_.size();)
            if (!step()) return false;
        return true;
    }
    const std::u16string& out() const { return out_; }
    const std::u16string& why() const { return why_; }
    const std::u16string& locale() const { return localeTag_; }
    bool date() const { return date_; }
    bool number() const { return number_; }
    bool condition() const { return condition_; }
    bool empty() const { return s_.empty(); }

private:
    bool fail(std::u16string why) {
        why_ = std::move(why);
        return false;
    }

    // Whether the 0 at i belongs to the tenths (hundredths, ...) of the seconds: "ss.00".
    bool fractionOfSeconds(std::size_t i) const {
        std::size_t k = i;
        while (k > 0 && s_[k - 1] == u'0') --k;
        return k >= 2 && s_[k - 1] == u'.' && (s_[k - 2] | 0x20) == u's';
    }

    // Whether the section shows dates and times or numbers, from its unquoted letters and digits.
    bool classify() {
        for (std::size_t i = 0; i < s_.size(); ++i) {
            const char16_t c = s_[i];
            if (c == u'"') {
                i = s_.find(u'"', i + 1);
                if (i == std::u16string_view::npos) return fail(u"格式中的引号不成对");
            } else if (c == u'\\' || c == u'_' || c == u'*') {
                ++i;
            } else if (c == u'[') {
                const auto close = s_.find(u']', i);
                if (close == std::u16string_view::npos) return fail(u"格式中的方括号不成对");
                const auto inside = upper(std::u16string(s_.substr(i + 1, close - i - 1)));
                if (!inside.empty() && (inside[0] == u'H' || inside[0] == u'M' || inside[0] == u'S') &&
                    inside.find_first_not_of(inside[0]) == std::u16string::npos)
                    date_ = true;
                i = close;
            } else if (upper(std::u16string(s_.substr(i, 7))) == u"GENERAL") {
                i += 6;
            } else if ((c == u'E' || c == u'e') && i + 1 < s_.size() &&
                       (s_[i + 1] == u'+' || s_[i + 1] == u'-')) {
                number_ = true;
                ++i;
            } else if (isDateLetter(c) || upper(std::u16string(s_.substr(i, 5))) == u"AM/PM") {
                date_ = true;
            } else if (c == u'0' && fractionOfSeconds(i)) {
                continue;
            } else if (c == u'0' || c == u'#' || c == u'?' || c == u'%') {
                number_ = true;
            }
        }
        if (date_ && number_) return fail(u"格式中同时有日期和数字");
        return true;
    }

    bool step() {
        const char16_t c = s_[i_];
        if (c == u'"') {
            const auto close = s_.find(u'"', i_ + 1);
            out_.append(s_, i_, close + 1 - i_);
            i_ = close + 1;
            return true;
        }
        if (c == u'\\') return escaped();
        if (c == u'_' || c == u'*') {
            if (i_ + 1 >= s_.size()) return fail(u"格式以 _ 或 * 结尾");
            out_.append(s_, i_, 2);
            i_ += 2;
            return true;
        }
        if (c == u'[') return bracket();
        if (upper(std::u16string(s_.substr(i_, 7))) == u"GENERAL") {
            out_ += generalKeyword(locale_);
            i_ += 7;
            return true;
        }
        if (upper(std::u16string(s_.substr(i_, 5))) == u"AM/PM") {
            out_ += u"AM/PM";
            i_ += 5;
            return true;
        }
        if (c < 0x80 && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) return letter();
        if (c == u',') return comma();
        if (c >= u'1' && c <= u'9') return fail(u"格式中有数字字面量");
        if (c < 0x20 || c == 0x7F) return fail(u"格式中有控制字符");
        if (c >= 0x80 && (s_.substr(i_, 2) == u"上午" || s_.substr(i_, 2) == u"下午"))
            return fail(u"格式中有上午/下午");
        out_ += c;
        ++i_;
        leads_ = false;
        return true;
    }

    // "\c": what the office writes without the backslash it writes plain, the rest as it is.
    bool escaped() {
        if (i_ + 1 >= s_.size()) return fail(u"格式以反斜杠结尾");
        const char16_t c = s_[i_ + 1];
        const std::u16string_view plain = date_ ? u" -.+" : u" -+/";
        if (plain.find(c) == std::u16string_view::npos) out_ += u'\\';
        out_ += c;
        i_ += 2;
        leads_ = false;
        return true;
    }

    bool letter() {
        const char16_t c = s_[i_];
        if ((c == u'E' || c == u'e') && i_ + 1 < s_.size() && (s_[i_ + 1] == u'+' || s_[i_ + 1] == u'-')) {
            out_ += u'E';
            out_ += s_[i_ + 1];
            i_ += 2;
            return true;
        }
        if (!isDateLetter(c)) return fail(u"格式中有未知的字母 " + std::u16string(1, c));
        std::size_t end = i_;
        while (end < s_.size() && (s_[end] | 0x20) == (c | 0x20)) ++end;
        const std::size_t n = end - i_;
        if ((c | 0x20) == u'y' && n != 2 && n != 4) return fail(u"格式中的年份写法");
        out_.append(n, static_cast<char16_t>(c & ~0x20));
        i_ = end;
        leads_ = false;
        return true;
    }

    // A thousands separator inside "#,##" or a scaling one after the digits.
    bool comma() {
        const bool between = i_ > 0 && s_[i_ - 1] == u'#' && i_ + 1 < s_.size() && s_[i_ + 1] == u'#';
        std::size_t after = i_;
        while (after < s_.size() && s_[after] == u',') ++after;
        const bool scaling =
            i_ > 0 && std::u16string_view(u"0#?").find(s_[i_ - 1]) != std::u16string_view::npos &&
            (after == s_.size() || std::u16string_view(u"0#?.").find(s_[after]) == std::u16string_view::npos);
        if (date_) {
            out_ += u',';
            ++i_;
            return true;
        }
        if (!between && !scaling) return fail(u"格式中逗号的位置");
        out_.append(s_, i_, after - i_);
        i_ = after;
        return true;
    }

    bool bracket() {
        const auto close = s_.find(u']', i_);
        const std::u16string_view inside = s_.substr(i_ + 1, close - i_ - 1);
        const std::u16string up = upper(std::u16string(inside));
        i_ = close + 1;
        static constexpr std::u16string_view kColours[] = {u"BLACK",   u"BLUE", u"CYAN",  u"GREEN",
                                                           u"MAGENTA", u"RED",  u"WHITE", u"YELLOW"};
        if (std::find(std::begin(kColours), std::end(kColours), up) != std::end(kColours)) {
            out_ += u"[" + up + u"]";
            return true;
        }
        if (up.starts_with(u"COLOR") && up.size() > 5 && up.size() <= 7 &&
            up.find_first_not_of(u"0123456789", 5) == std::u16string::npos) {
            out_ += u"[" + up + u"]";
            return true;
        }
        if (!inside.empty() && (inside[0] == u'<' || inside[0] == u'>' || inside[0] == u'=')) {
            condition_ = true;
            out_ += u"[" + std::u16string(inside) + u"]";
            return true;
        }
        if (!up.empty() && (up[0] == u'H' || up[0] == u'M' || up[0] == u'S') &&
            up.find_first_not_of(up[0]) == std::u16string::npos) {
            out_ += u"[" + up + u"]";
            return true;
        }
        if (up.starts_with(u"DBNUM") && up.size() == 6 && up[5] >= u'1' && up[5] <= u'9') {
            out_ += u"[DBNum" + std::u16string(1, up[5]) + u"]";
            return true;
        }
        if (inside.starts_with(u"$-")) {
            const auto tag = localeOfLcid(inside.substr(2));
            if (!leads_ || !tag) return fail(u"格式中的区域代码 [" + std::u16string(inside) + u"]");
            localeTag_ = *tag;
            return true;
        }
        if (inside.starts_with(u"$") && inside.find(u']') == std::u16string_view::npos) {
            out_ += u"[" + std::u16string(inside) + u"]";
            leads_ = false;
            return true;
        }
        return fail(u"格式中的 [" + std::u16string(inside) + u"]");
    }

    std::u16string_view s_;
    NumberLocale locale_;
    bool leads_;
    std::size_t i_ = 0;
    std::u16string out_;
    std::u16string why_;
    std::u16string localeTag_;
    bool date_ = false, number_ = false, condition_ = false;
};

// The sections of a code, split at semicolons outside quotes, brackets and escapes.
std::vector<std::u16string_view> sectionsOf(std::u16string_view code) {
    std::vector<std::u16string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char16_t c = code[i];
        if (c == u'"') {
            const auto close = code.find(u'"', i + 1);
            i = close == std::u16string_view::npos ? code.size() : close;
        } else if (c == u'[') {
            const auto close = code.find(u']', i);
            i = close == std::u16string_view::npos ? code.size() : close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u';') {
            out.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(code.substr(start));
    return out;
}

}  // namespace

std::u16string generalKeyword(NumberLocale locale) {
    return locale == NumberLocale::ZhCn ? u"常规" : u"General";
}

OfficeNumberFormat officeBuiltInFormat(int id, NumberLocale locale) {
    OfficeNumberFormat f;
    for (const BuiltIn& b : kBuiltIn) {
        if (b.id != id) continue;
        const std::u16string_view code = locale == NumberLocale::ZhCn ? b.zhCn : b.enUs;
        f.date = b.date;
        if (code != generalKeyword(locale)) f.format.code = code;
        return f;
    }
    return f;  // an id the office does not know: the general format
}

OfficeNumberFormat officeFormatOfCode(std::string_view packageCode, NumberLocale locale) {
    const std::u16string code = fromUtf8(packageCode);
    if (code.empty()) return uncertain(u"空的数字格式");
    if (upper(code) == u"GENERAL") return {};
    const auto parts = sectionsOf(code);
    if (parts.size() > 4) return uncertain(u"数字格式的节多于四个");
    OfficeNumberFormat f;
    std::vector<std::u16string> converted;
    std::vector<bool> conditions;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        Section section(parts[i], locale, i == 0);
        if (!section.convert()) return uncertain(section.why());
        if (i == 0) {
            f.date = section.date();
            f.format.locale = section.locale();
        } else if (!section.empty() && (section.date() != f.date) && (section.date() || section.number())) {
            return uncertain(u"数字格式的各节类型不同");
        }
        conditions.push_back(section.condition());
        converted.push_back(section.out());
    }
    // Conditions the office reads as written: on the first two of two sections, which it completes
    // with a general third, or of three.
    if (std::find(conditions.begin(), conditions.end(), true) != conditions.end()) {
        const bool firstTwo = conditions.size() >= 2 && conditions[0] && conditions[1] &&
                              std::count(conditions.begin(), conditions.end(), true) == 2;
        if (!firstTwo || conditions.size() > 3) return uncertain(u"数字格式中条件的写法");
        if (conditions.size() == 2) converted.push_back(generalKeyword(locale));
    }
    for (std::size_t i = 0; i < converted.size(); ++i) f.format.code += (i ? u";" : u"") + converted[i];
    return f;
}

}  // namespace sheets::xlsx
