#include <cmath>
#include <fstream>
#include <sstream>

#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "sheets/calc/calc_objects.h"

namespace sheets::calc {
namespace {

// Who holds a document's lock, from the lock file another office wrote beside it:
// ",<office user>,<system user>,<host>,<since>,<profile>;".
std::string lockHolder(const std::string& path) {
    const std::string lock = OfficeProcess::lockFilePath(path);
    std::ifstream in(lock);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (content.empty()) return {};
    std::vector<std::string> fields;
    std::istringstream is(content.substr(0, content.find(';')));
    for (std::string f; std::getline(is, f, ',');) fields.push_back(f);
    auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    const std::string user = field(0).empty() ? field(1) : field(0);
    return "it is locked by " + (user.empty() ? std::string("an unnamed user") : user) + " on " + field(2) +
           " since " + field(3) + " (lock file " + lock + ", office profile " + field(4) + ")";
}

// The frame that shows a document, or none (a document the user closed in the office, say).
Reference<css::frame::XFrame> frameOf(const Reference<css::lang::XComponent>& document) noexcept {
    try {
        Reference<css::frame::XController> controller =
            Reference<css::frame::XModel>(document, UNO_QUERY_THROW)->getCurrentController();
        if (controller.is()) return controller->getFrame();
    } catch (const css::uno::Exception&) {
    }
    return {};
}

}  // namespace

CalcWorkbook::CalcWorkbook(std::weak_ptr<Session> session, Reference<css::lang::XComponent> document,
                           std::string path, bool lockedElsewhere)
    : session_(std::move(session)),
      document_(std::move(document)),
      path_(std::move(path)),
      lockedElsewhere_(lockedElsewhere) {}

std::string CalcWorkbook::label() const {
    return path_.empty() ? "new workbook " + utf8(fileName()) : path_;
}

std::u16string CalcWorkbook::fileName() const {
    if (!path_.empty()) return fromOUString(fromUtf8(path_.substr(path_.rfind('/') + 1)));
    try {
        return fromOUString(Reference<css::frame::XTitle>(document_, UNO_QUERY_THROW)->getTitle());
    } catch (const css::uno::Exception&) {
        return u"";
    }
}

std::shared_ptr<Session> CalcWorkbook::session() const {
    auto s = session_.lock();
    if (!s || s->ended) throw Failure("the spreadsheet application of " + label() + " has quit");
    if (closed_) throw Failure("workbook " + label() + " is closed");
    return s;
}

std::shared_ptr<sheets::Worksheet> CalcWorkbook::worksheet(double index) {
    session();
    if (!std::isfinite(index)) throw Failure("no sheet at a position that is not a number in " + label());
    // Round half to even (the default rounding mode).
    const double position = std::nearbyint(index);
    try {
        Reference<css::container::XIndexAccess> sheets(
            Reference<css::sheet::XSpreadsheetDocument>(document_, UNO_QUERY_THROW)->getSheets(),
            UNO_QUERY_THROW);
        const sal_Int32 count = sheets->getCount();
        if (position < 1 || position > count) {
            std::ostringstream os;
            os << "workbook " << label() << " has " << count << " sheet(s), none at position " << index;
            throw Failure(os.str());
        }
        const auto i = static_cast<sal_Int32>(position);
        Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i - 1), UNO_QUERY_THROW);
        return std::make_shared<CalcWorksheet>(shared_from_this(), sheet, i);
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot take a sheet of " + label(), e));
    }
}

void CalcWorkbook::close(std::optional<bool> saveChanges) {
    auto s = session();
    bool modified = false;
    try {
        modified = Reference<css::util::XModifiable>(document_, UNO_QUERY_THROW)->isModified();
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot close " + label(), e));
    }
    bool store = false;
    if (saveChanges)
        store = *saveChanges && modified;
    else if (modified)
        store = s->desktop.askSaveChanges(fileName());
    if (store) save();
    closeDocument();
}

void CalcWorkbook::save() {
    if (path_.empty()) throw Failure("cannot save " + label() + ": it has no file");
    try {
        Reference<css::frame::XStorable> storable(document_, UNO_QUERY_THROW);
        if (lockedElsewhere_ || storable->isReadonly()) {
            std::string reason = lockHolder(path_);
            if (reason.empty()) reason = "it was opened read-only";
            throw Failure("cannot save " + path_ + ": " + reason);
        }
        // Stores in the format it was loaded from: an .xls stays an .xls.
        storable->store();
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot save " + path_, e));
    }
}

void CalcWorkbook::closeDocument() {
    const Reference<css::frame::XFrame> frame = frameOf(document_);
    try {
        Reference<css::util::XCloseable>(document_, UNO_QUERY_THROW)->close(true);
    } catch (const css::util::CloseVetoException& e) {
        throw Failure(describe("the office refused to close " + label(), e));
    } catch (const css::lang::DisposedException&) {
        // Already closed in the office, by the user.
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot close " + label(), e));
    }
    closed_ = true;
    shown_ = false;
    if (auto s = session_.lock()) {
        s->releaseHost(frame);
        s->forget(this);
    }
}

void CalcWorkbook::discard() noexcept {
    if (closed_) return;
    const Reference<css::frame::XFrame> frame = frameOf(document_);
    try {
        Reference<css::util::XCloseable>(document_, UNO_QUERY_THROW)->close(true);
    } catch (const css::uno::Exception&) {
    }
    closed_ = true;
    shown_ = false;
    if (auto s = session_.lock()) s->releaseHost(frame);
}

Reference<css::util::XNumberFormats> CalcWorkbook::numberFormats() {
    if (!formats_.is())
        formats_ =
            Reference<css::util::XNumberFormatsSupplier>(document_, UNO_QUERY_THROW)->getNumberFormats();
    return formats_;
}

void CalcWorkbook::setWindowVisible(bool visible) {
    auto s = session();
    if (!s->canShow()) return;
    try {
        Reference<css::frame::XModel> model(document_, UNO_QUERY_THROW);
        Reference<css::frame::XController> controller = model->getCurrentController();
        if (!controller.is()) throw Failure("cannot show " + label() + ": it has no window");
        s->windowOf(controller->getFrame())->setVisible(visible);
        shown_ = visible;
    } catch (const css::uno::Exception& e) {
        throw Failure(describe(std::string("cannot ") + (visible ? "show " : "hide ") + label(), e));
    }
}

void CalcWorkbook::activateSheet(const Reference<css::sheet::XSpreadsheet>& sheet) {
    auto s = session();
    s->makeActive(shared_from_this());
    // The sheet also becomes the one its window shows.
    try {
        Reference<css::frame::XModel> model(document_, UNO_QUERY_THROW);
        Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (view.is()) view->setActiveSheet(sheet);
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot activate a sheet of " + label(), e));
    }
}

}  // namespace sheets::calc
