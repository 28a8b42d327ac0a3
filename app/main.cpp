// Pellucor: matches the rows of a child table against a parent table in spreadsheet workbooks.
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include "cli/command.h"
#include "sheets/calc/calc_application.h"
#include "sheets/choosing_factory.h"
#include "sheets/direct/direct_application.h"
#include "ui/form1.h"
#include "ui/look.h"

// A run from the command line starts no window and needs no display: the office runs headless.
int commandLine(int argc, char** argv) {
    sheets::direct::DirectApplicationFactory packages;
    sheets::calc::CalcApplicationFactory office(/*alwaysHeadless=*/true);
    sheets::ChoosingFactory factory(packages, office);
    return cli::command({argv + 1, argv + argc}, factory);
}

int main(int argc, char** argv) {
    if (argc > 1 && cli::isCommand(argv[1])) return commandLine(argc, argv);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Pellucor"));
    app.setApplicationVersion(QStringLiteral("2.1"));
    // The installed desktop entry and icon, so that a desktop shows the window as that entry's.
    app.setDesktopFileName(QStringLiteral("pellucor"));
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("pellucor")));

    // Qt's own texts (file dialog, context menus) in Chinese, like the program's.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);
    ui::installLook(app);

    // A run on .xlsx and .xlsm files reads and writes the packages themselves; the office does the rest.
    sheets::direct::DirectApplicationFactory packages;
    sheets::calc::CalcApplicationFactory office;
    sheets::ChoosingFactory factory(packages, office);
    // The run options are remembered in ~/.config/Pellucor/Pellucor.conf.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellucor"),
                       QStringLiteral("Pellucor"));
    ui::Form1 form1(factory, &settings);
    form1.show();
    return app.exec();
}
