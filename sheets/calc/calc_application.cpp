#include "sheets/calc/calc_application.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include "sheets/calc/calc_objects.h"
#include "sheets/file_locks.h"
#include "sheets/workbook_file.h"

namespace sheets::calc {
namespace {

using namespace std::chrono_literals;

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(name); v && *v) return true;
    return false;
}

// How a file is loaded: as itself; as an untitled copy, which can be changed but not stored over
// the file; or read-only, where the office cannot put its lock file beside it.
enum class LoadAs { File, Copy, ReadOnly };

// hidden: no window at all (see hosted_frame.h for why a file is not loaded so).
Sequence<css::beans::PropertyValue> loadArguments(LoadAs as, bool hidden) {
    auto arguments =
        sequenceOf({property("Hidden", Any(hidden)), property("AsTemplate", Any(as == LoadAs::Copy)),
                    property("MacroExecutionMode", Any(css::document::MacroExecMode::NEVER_EXECUTE)),
                    property("UpdateDocMode", Any(css::document::UpdateDocMode::NO_UPDATE)),
                    property("InteractionHandler", Any(quietInteraction()))});
    if (as == LoadAs::ReadOnly) {
        arguments.realloc(arguments.getLength() + 1);
        arguments.getArray()[arguments.getLength() - 1] = property("ReadOnly", Any(true));
    }
    return arguments;
}

// Whether a document must load into a hosted frame (hosted_frame.h) for a store to keep its view
// settings. Not a new workbook, which no run stores, and not an .xls file: its import keeps them
// without any view, and a hidden load is quicker to open and to close.
bool keepsViewOnlyWhenShown(const OUString& url) {
    return !url.startsWith("private:") && !url.toAsciiLowerCase().endsWith(".xls");
}

std::string lowerExtension(const std::string& path) {
    const auto slash = path.rfind('/'), dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Whether the filter the office read a file with belongs to the file's extension: a text file or
// random bytes named .xls load through the text import and would be stored back as text.
bool filterFitsExtension(const std::string& filter, const std::string& extension) {
    const auto starts = [&](const char* prefix) { return filter.rfind(prefix, 0) == 0; };
    const bool text = filter == "Text - txt - csv (StarCalc)";
    if (extension == "xls")
        return starts("MS Excel 97") || starts("MS Excel 95") || starts("MS Excel 5.0/95") ||
               starts("MS Excel 4.0");
    if (extension == "xlsx" || extension == "xlsm")
        return starts("Calc MS Excel 2007") || starts("Calc Office Open XML");
    if (extension == "ods") return starts("calc8") || filter == "StarOffice XML (Calc)";
    if (extension == "csv" || extension == "txt") return text;
    return !text;
}

// The filter the office loaded a document with.
std::string loadFilter(const Reference<css::lang::XComponent>& document) {
    for (const auto& argument : Reference<css::frame::XModel>(document, UNO_QUERY_THROW)->getArgs()) {
        OUString name;
        if (argument.Name == "FilterName" && (argument.Value >>= name)) return utf8(name);
    }
    return {};
}

bool folderWritable(const std::string& file) {
    return ::access(file.substr(0, file.rfind('/') + 1).c_str(), W_OK) == 0;
}

struct OfficeEndedEarly : Failure {
    using Failure::Failure;
};

class CalcApplication : public sheets::Application {
public:
    CalcApplication(sheets::Desktop& desktop, bool headless)
        : session_(std::make_shared<Session>(desktop, headless)) {
        connect();
    }

    ~CalcApplication() override {
        if (session_->ended) return;
        if (session_->canShow() && std::any_of(session_->workbooks.begin(), session_->workbooks.end(),
                                               [](const auto& w) { return w->windowShown(); })) {
            // The user keeps what is on the screen.
            session_->ended = true;
            session_->workbooks.clear();
            session_->frames.clear();
            session_->office.release();
            return;
        }
        end();
    }

    std::shared_ptr<sheets::Workbook> open(const std::u16string& path) override {
        session_->checkRunning();
        return session_->watched([&] { return openFile(path); });
    }

    std::shared_ptr<sheets::Workbook> add() override {
        session_->checkRunning();
        return session_->watched([&] { return addNew(); });
    }

    void setVisible(bool visible) override {
        session_->checkRunning();
        session_->watched([&] { show(visible); });
    }

    std::shared_ptr<sheets::Worksheet> activeWorksheet(double index) override {
        session_->checkRunning();
        if (session_->workbooks.empty()) throw Failure("there is no active workbook");
        return session_->workbooks.back()->worksheet(index);
    }

    void quit() override {
        session_->checkRunning();
        end();
    }

    OfficeInfo info() const {
        auto& o = session_->office;
        return {o.officePid(), o.guardPid(), o.stateDir(), o.pipeName(), o.headless()};
    }

private:
    void show(bool visible) {
        session_->visible = visible;
        std::string problems;
        for (const auto& w : session_->workbooks) {
            try {
                w->setWindowVisible(visible);
            } catch (const Failure& f) {
                problems += std::string(problems.empty() ? "" : "; ") + f.what();
            }
        }
        session_->updateShown();
        if (!problems.empty()) throw Failure(problems);
    }

    std::shared_ptr<sheets::Workbook> openFile(const std::u16string& path) {
        const std::string file = existingWorkbookFile(path);
        if (auto open = session_->findByPath(file)) {
            session_->makeActive(open);
            return open;
        }
        session_->office.recordDocument(file);
        // Taken before the load: a save by another program from here on is found at the store.
        const auto identity = identityOf(file);
        Reference<css::lang::XComponent> document;
        try {
            document = load(fileUrl(file), file, LoadAs::File);
        } catch (const Failure&) {
            if (folderWritable(file)) throw;  // else read-only, below
        }
        // Without anyone to ask, the office declines a file that another office has locked. Such a
        // workbook opens as a copy: it reads and changes like any other and fails at its save.
        bool lockedElsewhere = false;
        if (!document.is() && ::access(officeLockPath(file).c_str(), F_OK) == 0) {
            document = load(fileUrl(file), file, LoadAs::Copy);
            lockedElsewhere = true;
        } else if (!document.is() && !folderWritable(file)) {
            // A workbook that is only read needs no lock file; a save of it fails.
            document = load(fileUrl(file), file, LoadAs::ReadOnly);
        }
        if (!document.is())
            throw Failure("cannot open " + file + ": the office loaded nothing",
                          causeAbout(FailureCause::Kind::NotAWorkbook, file));
        refuseWhatIsNoWorkbook(document, file);
        auto workbook = std::make_shared<CalcWorkbook>(session_, document, file, lockedElsewhere, identity);
        adopt(workbook);
        return workbook;
    }

    std::shared_ptr<sheets::Workbook> addNew() {
        Reference<css::lang::XComponent> document =
            load("private:factory/scalc", "a new workbook", LoadAs::File);
        if (!document.is()) throw Failure("cannot create a new workbook: the office created nothing");
        auto workbook =
            std::make_shared<CalcWorkbook>(session_, document, std::string(), false, std::nullopt);
        adopt(workbook);
        return workbook;
    }

    void connect() {
        auto& office = session_->office;
        const OUString url =
            "uno:pipe,name=" + fromUtf8(office.pipeName()) + ";urp;StarOffice.ComponentContext";
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        try {
            Reference<css::bridge::XUnoUrlResolver> resolver =
                css::bridge::UnoUrlResolver::create(localContext());
            Reference<css::uno::XComponentContext> remote;
            while (!remote.is()) {
                try {
                    remote.set(resolver->resolve(url), UNO_QUERY_THROW);
                } catch (const css::connection::NoConnectException&) {
                    if (!office.running())
                        throw OfficeEndedEarly("the office ended before it accepted a connection");
                    if (std::chrono::steady_clock::now() > deadline)
                        throw Failure("the office did not accept a connection within 30 s");
                    std::this_thread::sleep_for(5ms);
                }
            }
            session_->context = remote;
            session_->frames = css::frame::Desktop::create(remote);
            office.recordPipes();
        } catch (const css::uno::Exception& e) {
            session_->office.kill();
            throw Failure(describe("cannot connect to the office", e));
        } catch (...) {
            session_->office.kill();
            throw;
        }
    }

    static void discard(const Reference<css::lang::XComponent>& document) noexcept {
        try {
            Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
        } catch (const css::uno::Exception&) {
        }
    }

    // An empty file, or one that the office reads in a format other than its name says, is not
    // opened: it could only be stored back in that other format.
    void refuseWhatIsNoWorkbook(const Reference<css::lang::XComponent>& document, const std::string& file) {
        std::string filter;
        const Reference<css::frame::XFrame> frame = frameOf(document);
        try {
            filter = loadFilter(document);
        } catch (const css::uno::Exception& e) {
            discard(document);
            session_->releaseHost(frame);
            throw Failure(describe("cannot open " + file, e));
        }
        if (filterFitsExtension(filter, lowerExtension(file))) return;
        discard(document);
        session_->releaseHost(frame);
        throw Failure("cannot open " + file + ": not a workbook of its kind (the office reads it as \"" +
                          filter + "\")",
                      causeAbout(FailureCause::Kind::NotAWorkbook, file));
    }

    // The loaded document, or an empty reference when the office declined it.
    Reference<css::lang::XComponent> load(const OUString& url, const std::string& what, LoadAs as) {
        Reference<css::lang::XComponent> document;
        HostedFrame hosted;
        try {
            if (!keepsViewOnlyWhenShown(url)) {
                document = Reference<css::frame::XComponentLoader>(session_->frames, UNO_QUERY_THROW)
                               ->loadComponentFromURL(url, "_blank", 0, loadArguments(as, true));
            } else {
                hosted = HostedFrame::create(session_->context, session_->frames);
                document = Reference<css::frame::XComponentLoader>(hosted.frame, UNO_QUERY_THROW)
                               ->loadComponentFromURL(url, "_self", 0, loadArguments(as, false));
            }
        } catch (const css::uno::Exception& e) {
            hosted.dispose();
            throw Failure(describe("cannot open " + what, e));
        }
        if (!document.is()) hosted.dispose();
        if (hosted.frame.is()) session_->hostedFrames.push_back(hosted);
        if (document.is() && !Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY).is()) {
            discard(document);
            session_->releaseHost(hosted.frame);
            throw Failure("cannot open " + what + ": not a spreadsheet",
                          causeAbout(FailureCause::Kind::NotAWorkbook, what));
        }
        // Whatever the import itself marks as changed (a recalculation, say) is not a change of the
        // run's: only what the run writes may make a save request store the file.
        try {
            Reference<css::util::XModifiable> modifiable(document, UNO_QUERY);
            if (modifiable.is() && modifiable->isModified()) modifiable->setModified(false);
        } catch (const css::uno::Exception& e) {
            throw Failure(describe("cannot open " + what, e));
        }
        return document;
    }

    void adopt(const std::shared_ptr<CalcWorkbook>& workbook) {
        session_->makeActive(workbook);
        if (session_->visible) {
            workbook->setWindowVisible(true);
            session_->updateShown();
        }
    }

    // Closes every workbook without saving, ends the office and waits until its profile is gone.
    void end() noexcept {
        session_->ended = true;
        auto workbooks = std::move(session_->workbooks);
        session_->workbooks.clear();
        for (const auto& w : workbooks) w->discard();
        bool terminated = false;
        try {
            const OfficeWatch::Call during(session_->watch);
            if (session_->frames.is()) terminated = session_->frames->terminate();
        } catch (const css::uno::Exception&) {
            // The bridge goes down with the office: terminate() may not return normally.
            terminated = true;
        }
        session_->frames.clear();
        if (!terminated || !session_->office.waitForEnd(10s)) session_->office.kill();
    }

    std::shared_ptr<Session> session_;
};

}  // namespace

Session::Session(sheets::Desktop& d, bool headless)
    : desktop(d), office(headless), watch(office.officePid(), d) {}

void Session::throwIfEndedByWatch(const std::string& detail) const {
    switch (watch.ended()) {
        case OfficeWatch::Ended::No:
            return;
        case OfficeWatch::Ended::Stopped:
            throw Failure(detail + " (the office was ended: the run stopped)");
        case OfficeWatch::Ended::Stalled: {
            FailureCause cause(FailureCause::Kind::OfficeStalled);
            cause.seconds = static_cast<int>(watch.stallLimit().count());
            throw Failure(detail + " (the office did nothing for " + std::to_string(cause.seconds) +
                              " s and was ended)",
                          cause);
        }
    }
}

std::u16string Session::backUp(const std::string& path) {
    return fromOUString(fromUtf8(backups.copy(path).string()));
}

void Session::checkRunning() const {
    if (ended) throw Failure("the spreadsheet application has quit");
}

void Session::makeActive(const std::shared_ptr<CalcWorkbook>& workbook) {
    auto it = std::find(workbooks.begin(), workbooks.end(), workbook);
    if (it != workbooks.end()) workbooks.erase(it);
    workbooks.push_back(workbook);
}

void Session::forget(const CalcWorkbook* workbook) {
    std::erase_if(workbooks, [&](const auto& w) { return w.get() == workbook; });
    updateShown();
}

std::shared_ptr<CalcWorkbook> Session::findByPath(const std::string& path) const {
    for (const auto& w : workbooks)
        if (!w->path().empty() && w->path() == path) return w;
    return nullptr;
}

Reference<css::awt::XWindow> Session::windowOf(const Reference<css::frame::XFrame>& frame) const {
    for (const auto& hosted : hostedFrames)
        if (hosted.frame == frame) return hosted.host;
    return frame->getContainerWindow();
}

void Session::releaseHost(const Reference<css::frame::XFrame>& frame) noexcept {
    if (!frame.is()) return;
    auto it = std::find_if(hostedFrames.begin(), hostedFrames.end(),
                           [&](const HostedFrame& h) { return h.frame == frame; });
    if (it == hostedFrames.end()) return;
    it->dispose();
    hostedFrames.erase(it);
}

void Session::updateShown() {
    const bool shown =
        std::any_of(workbooks.begin(), workbooks.end(), [](const auto& w) { return w->windowShown(); });
    try {
        office.setShown(shown);
    } catch (const Failure&) {
        // Without the marker the guard ends the office with the program: the safe side.
    }
}

std::unique_ptr<sheets::Application> CalcApplicationFactory::create(sheets::Desktop& desktop,
                                                                    const sheets::RunFiles&) {
    const bool headless = alwaysHeadless_ || !displayAvailable();
    // On a busy machine the X server now and then refuses the office's connection ("Can't open
    // display"), and the office ends before it listens, three times in a row at times: a new one
    // starts after a pause that doubles, five times at the most (7.5 s of pauses in all).
    for (int attempt = 1;; ++attempt) {
        try {
            return std::make_unique<CalcApplication>(desktop, headless);
        } catch (const OfficeEndedEarly& e) {
            if (attempt == 5) throw;
            std::cerr << "pellucor: " << e.what() << "; starting it once more\n";
            std::this_thread::sleep_for((1 << (attempt - 1)) * 500ms);
        }
    }
}

OfficeInfo officeInfo(const sheets::Application& application) {
    if (auto* calc = dynamic_cast<const CalcApplication*>(&application)) return calc->info();
    return {};
}

}  // namespace sheets::calc
