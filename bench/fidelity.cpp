// What a run's placement changes in real workbooks beyond its new column: for every workbook of a
// folder, a copy goes through the spreadsheet layer as a run's result placement does it (a column
// inserted before column A of sheet 1, a short result pasted into it, the workbook closed with a
// save), and fidelity_compare.py compares the stored copy with the original, kind by kind.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "sheets/application.h"
#include "sheets/calc/calc_application.h"
#include "sheets/utf8.h"

namespace fs = std::filesystem;

namespace {

class QuietDesktop : public sheets::Desktop {
public:
    bool askSaveChanges(const std::u16string&) override { return true; }
};

std::u16string u16(const std::string& s) {
    return sheets::fromUtf8(s);
}

bool isWorkbook(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".xls" || ext == ".xlsx" || ext == ".xlsm" || ext == ".ods";
}

// The placement of a run into the child sheet before column A, as lookup_run.cpp does it.
void place(const std::string& path) {
    QuietDesktop desktop;
    auto app = sheets::calc::CalcApplicationFactory().create(desktop);
    app->setVisible(false);
    auto book = app->open(u16(path));
    auto sheet = book->worksheet(1);
    sheet->activate();
    sheet->select(u"A1");
    sheet->apply({1, 1, 1,
                  sheets::CellRows{1,
                                   {sheets::CellValue::text(u"结果"), sheets::CellValue::number(1),
                                    sheets::CellValue::number(2)}}});
    book->close(true);
    app->quit();
}

// The comparison's report lines; the exit status says whether anything beyond the column changed.
int compare(const std::string& original, const std::string& stored, std::string& report) {
    const std::string command =
        "/usr/bin/python3 '" PELLUCOR_FIDELITY_COMPARE "' '" + original + "' '" + stored + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) report += buffer;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::cerr
            << "usage: pellucor_fidelity FOLDER [WORK FOLDER]\n"
               "Runs a run's result placement on a copy of every .xls, .xlsx, .xlsm and .ods in FOLDER\n"
               "and reports what changed beyond the new column (needs python3-openpyxl, python3-xlrd\n"
               "and python3-olefile). The copies stay in WORK FOLDER when one is given.\n";
        return argc < 2 ? 2 : 0;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argv[1]))
        if (entry.is_regular_file() && isWorkbook(entry.path())) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    const bool keep = argc > 2;
    const fs::path work = keep ? fs::path(argv[2]) : fs::temp_directory_path() / "pellucor-fidelity";
    fs::create_directories(work);
    int lossless = 0;
    for (const auto& file : files) {
        const fs::path copy = work / file.filename();
        fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
        std::string report;
        int status;
        try {
            place(copy.string());
            status = compare(file.string(), copy.string(), report);
        } catch (const std::exception& e) {
            report = std::string("the placement failed: ") + e.what() + "\n";
            status = -1;
        }
        if (status == 0) ++lossless;
        std::cout << file.filename().string() << ": " << (status == 0 ? "nothing lost\n" : "\n") << report
                  << std::flush;
        if (!keep) fs::remove(copy);
    }
    if (!keep) fs::remove(work);
    std::cout << lossless << " of " << files.size() << " files without loss\n";
    return 0;
}
