// Applies every edit of a corpus twice: by the in-place writer and by the office.
//   xlsx_differential_edit CASES WORK
// For each line of CASES (see packages.py) the package beside CASES is copied into WORK as
// ours-NAME, which sheets::xlsx edits in place, and as theirs-NAME.office, which the office opens,
// applies the same SheetEdit to (CalcWorksheet::apply, as a run does) and stores itself: the
// extension keeps the package writer out of it. Prints one line per case:
//   NAME <tab> EXPECTED <tab> written|fallback|failure <tab> detail <tab> stored|failure <tab> detail
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "calc_test_support.h"
#include "sheets/utf8.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace {

namespace fs = std::filesystem;
using sheets::CellValue;

std::string percentDecoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(s);
    while (std::getline(in, field, separator)) out.push_back(field);
    if (!s.empty() && s.back() == separator) out.emplace_back();
    return out;
}

// "kind:value:format:locale", each part percent-encoded.
CellValue cellOf(const std::string& field) {
    auto parts = split(field, ':');
    parts.resize(4);
    for (auto& p : parts) p = percentDecoded(p);
    CellValue v;
    const auto& body = parts[1];
    if (parts[0] == "n") v = CellValue::number(std::stod(body));
    if (parts[0] == "d") v = CellValue::date(std::stod(body));
    if (parts[0] == "b") v = CellValue::boolean(body == "1");
    if (parts[0] == "t") v = CellValue::text(sheets::fromUtf8(body));
    if (parts[0] == "e") v = CellValue::error(u"#N/A");
    if (!parts[2].empty())
        v.setFormat(std::make_shared<sheets::NumberFormat>(
            sheets::NumberFormat{sheets::fromUtf8(parts[2]), sheets::fromUtf8(parts[3])}));
    return v;
}

struct Case {
    std::string name, expected;
    sheets::WorkbookEdit edit;
};

Case caseOf(const std::string& line) {
    const auto f = split(line, '\t');
    Case c{f.at(0), f.at(1), {}};
    c.edit.sheetPosition = std::stoi(f.at(2));
    c.edit.sheetName = sheets::fromUtf8(f.at(3));
    c.edit.edit.insertAt = std::stoi(f.at(4));
    c.edit.edit.insertCount = std::stoi(f.at(5));
    c.edit.edit.firstColumn = std::stoi(f.at(6));
    c.edit.edit.cells.width = std::stoi(f.at(7));
    for (std::size_t i = 8; i < f.size(); ++i) c.edit.edit.cells.cells.push_back(cellOf(f[i]));
    return c;
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

std::string ours(const std::string& path, const sheets::WorkbookEdit& edit) {
    try {
        sheets::xlsx::applyInPlace(path, edit);
        return "written\t";
    } catch (const sheets::xlsx::Unsupported& u) {
        return "fallback\t" + sheets::toUtf8(u.reason()) + " (" + oneLine(u.what()) + ")";
    } catch (const std::exception& e) {
        return "failure\t" + oneLine(e.what());
    }
}

// The office, started again after a case that ended it.
class Office {
public:
    std::string theirs(const std::string& path, const sheets::WorkbookEdit& edit) {
        try {
            if (!app_) app_ = sheets::calc::testing::headlessApplication(desktop_);
            auto book = app_->open(sheets::fromUtf8(path));
            try {
                book->worksheet(edit.sheetPosition)->apply(edit.edit);
            } catch (...) {
                book->close(false);
                throw;
            }
            book->close(true);
            return "stored\t";
        } catch (const std::exception& e) {
            restartAfterFailure();
            return "failure\t" + oneLine(e.what());
        }
    }

private:
    void restartAfterFailure() {
        try {
            if (app_) app_->quit();
        } catch (const std::exception&) {
        }
        app_.reset();
    }

    sheets::calc::testing::FakeDesktop desktop_;
    std::unique_ptr<sheets::Application> app_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: xlsx_differential_edit CASES WORK\n";
        return 2;
    }
    const fs::path corpus = fs::path(argv[1]).parent_path(), work = fs::absolute(argv[2]);
    fs::create_directories(work);
    std::ifstream cases(argv[1]);
    Office office;
    for (std::string line; std::getline(cases, line);) {
        if (line.empty()) continue;
        const Case c = caseOf(line);
        const auto mine = work / ("ours-" + c.name), office_copy = work / ("theirs-" + c.name + ".office");
        fs::copy_file(corpus / c.name, mine, fs::copy_options::overwrite_existing);
        fs::copy_file(corpus / c.name, office_copy, fs::copy_options::overwrite_existing);
        std::cout << c.name << '\t' << c.expected << '\t' << ours(mine.string(), c.edit) << '\t'
                  << office.theirs(office_copy.string(), c.edit) << std::endl;
    }
    return 0;
}
