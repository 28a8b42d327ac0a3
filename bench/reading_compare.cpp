// pellucor_reading_compare: every cell of many workbooks read through the office and through the
// packages themselves, compared in value, type and number format, with the used rows of each sheet.
//
//   pellucor_reading_compare [--seed S] [--random N] [--columns C] [--max-rows R] [FILE_OR_FOLDER...]
//
// The generated corpus (its fixed cases and N random sheets) and every .xlsx/.xlsm named or found in
// the folders, read from temporary copies. Prints every difference and a last line with the counts.

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "reading_comparison.h"
#include "reading_corpus.h"
#include "sheets/calc/calc_application.h"
#include "sheets/direct/direct_application.h"
#include "timed_sheets.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::uint32_t seed = 20261207;
    int random = 400, columns = 8, maxRows = 1100000;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string("0"); };
        if (a == "--seed")
            seed = static_cast<std::uint32_t>(std::stoul(value()));
        else if (a == "--random")
            random = std::stoi(value());
        else if (a == "--columns")
            columns = std::stoi(value());
        else if (a == "--max-rows")
            maxRows = std::stoi(value());
        else
            inputs.push_back(a);
    }
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    const fs::path work = fs::temp_directory_path() / ("pellucor-reading-" + std::to_string(::getpid()));
    std::vector<std::string> files = reading_corpus::write((work / "corpus").string(), seed, random);
    for (const auto& input : inputs) {
        std::vector<fs::path> found;
        if (fs::is_directory(input)) {
            for (const auto& e : fs::directory_iterator(input)) found.push_back(e.path());
        } else {
            found.push_back(input);
        }
        for (const auto& p : found) {
            const auto ext = p.extension().string();
            if (ext != ".xlsx" && ext != ".xlsm") continue;
            const auto copy = work / "given" / p.filename();
            fs::create_directories(copy.parent_path());
            fs::copy_file(p, copy, fs::copy_options::overwrite_existing);
            files.push_back(copy.string());
        }
    }
    bench::HeadlessWindow window;
    auto office = sheets::calc::CalcApplicationFactory().create(window);
    auto packages = sheets::direct::DirectApplicationFactory().create(window);
    reading_comparison::Tally tally;
    for (const auto& f : files) {
        const std::size_t before = tally.differences.size();
        reading_comparison::compare(*office, *packages, f, tally, columns, maxRows);
        for (std::size_t i = before; i < tally.differences.size(); ++i)
            std::cout << tally.differences[i] << '\n';
    }
    for (const auto& d : tally.doubtReasons) std::cout << "left to the office: " << d << '\n';
    office->quit();
    fs::remove_all(work);
    std::cout << tally.files << " files, " << tally.sheets << " sheets, " << tally.cells
              << " cells compared: " << tally.differences.size() << " differences, " << tally.doubts
              << " left to the office\n";
    return tally.differences.empty() ? 0 : 1;
}
