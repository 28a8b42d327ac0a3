#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/Date.hpp>
#include <com/sun/star/util/MalformedNumberFormatException.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "sheets/calc/calc_objects.h"
#include "sheets/file_locks.h"
#include "sheets/utf8.h"
#include "sheets/xls/xls_writer.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::calc {
namespace {

// Why a document opened read-only cannot be stored: another program's hold on the file, or else the
// file's or its folder's permissions.
Failure refusedStore(const std::string& path) {
    if (auto hold = heldByAnotherProgram(path))
        return Failure("cannot save " + path + ": " + utf8(hold->program) + " holds it (user " +
                           utf8(hold->user) + ", since " + utf8(hold->since) + ")",
                       *hold);
    const bool fileWritable = ::access(path.c_str(), W_OK) == 0;
    return Failure(
        "cannot save " + path + ": it was opened read-only",
        causeAbout(fileWritable ? FailureCause::Kind::NoPermission : FailureCause::Kind::ReadOnly, path));
}

// Why the office's store failed, as far as the file system tells: the file or its folder not
// writable, or less free space than the file takes.
FailureCause storeFailureCause(const std::string& path) {
    if (::access(path.c_str(), W_OK) != 0) return causeOfErrno(errno, path);
    if (::access(path.substr(0, path.rfind('/') + 1).c_str(), W_OK) != 0) return causeOfErrno(errno, path);
    std::error_code ec;
    const auto space = std::filesystem::space(path, ec);
    if (!ec && space.available < std::filesystem::file_size(path, ec))
        return causeAbout(FailureCause::Kind::NoSpace, path);
    return causeAbout(FailureCause::Kind::Unknown, path);
}

// A locale as a tag such as "en-US"; the office keeps tags it has no fields for in the variant.
std::u16string localeTag(const css::lang::Locale& l) {
    if (l.Language == "qlt") return fromOUString(l.Variant);
    return fromOUString(l.Country.isEmpty() ? l.Language : l.Language + "-" + l.Country);
}

css::lang::Locale localeOf(const std::u16string& tag) {
    const auto dash = tag.find(u'-');
    if (dash == std::u16string::npos) return {toOUString(tag), {}, {}};
    if (tag.find(u'-', dash + 1) != std::u16string::npos) return {"qlt", {}, toOUString(tag)};
    return {toOUString(tag.substr(0, dash)), toOUString(tag.substr(dash + 1)), {}};
}

// The office stores through a temporary file beside the workbook ("lu<letters>.tmp"). One that a
// failed store leaves behind is removed; only such names that were not there before are touched.
class StoreTemporaries {
public:
    explicit StoreTemporaries(const std::string& file) : folder_(file.substr(0, file.rfind('/') + 1)) {
        before_ = list();
    }
    void removeNew() const noexcept {
        for (const auto& name : list())
            if (!before_.contains(name)) std::filesystem::remove(folder_ + name, ignored_);
    }

private:
    std::set<std::string> list() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_, ignored_)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 6 && name.starts_with("lu") && name.ends_with(".tmp")) names.insert(name);
        }
        return names;
    }

    std::string folder_;
    std::set<std::string> before_;
    mutable std::error_code ignored_;
};

}  // namespace

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

CalcWorkbook::CalcWorkbook(std::weak_ptr<Session> session, Reference<css::lang::XComponent> document,
                           std::string path, bool lockedElsewhere, std::optional<FileIdentity> identity)
    : session_(std::move(session)),
      document_(std::move(document)),
      path_(std::move(path)),
      lockedElsewhere_(lockedElsewhere),
      identity_(identity) {}

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
    return session()->watched([&] { return sheetAt(index); });
}

std::shared_ptr<sheets::Worksheet> CalcWorkbook::sheetAt(double index) {
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
            FailureCause cause = causeAbout(FailureCause::Kind::NoSuchSheet, path_);
            if (path_.empty()) cause.file = fileName();
            cause.sheetCount = count;
            cause.sheetPosition = index;
            throw Failure(os.str(), cause);
        }
        const auto i = static_cast<sal_Int32>(position);
        Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i - 1), UNO_QUERY_THROW);
        return std::make_shared<CalcWorksheet>(shared_from_this(), sheet, i);
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot take a sheet of " + label(), e));
    }
}

StoreReport CalcWorkbook::close(std::optional<bool> saveChanges) {
    return session()->watched([&] { return closeAndStore(saveChanges); });
}

StoreReport CalcWorkbook::closeAndStore(std::optional<bool> saveChanges) {
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
    if (store && editFailed_) {
        // Part of an edit may be in the document: storing it would keep a half-made change.
        closeDocument();
        throw Failure("not storing " + label() + ": a change to it failed part-way");
    }
    StoreReport report;
    if (store) report = save();
    closeDocument();
    return report;
}

void CalcWorkbook::edited(WorkbookEdit edit) {
    edits_.push_back(std::move(edit));
}

StoreReport CalcWorkbook::save() {
    if (path_.empty()) {
        throw Failure("cannot save " + label() + ": it has no file",
                      FailureCause(FailureCause::Kind::NoFile, fileName()));
    }
    StoreReport report{StoreReport::How::ByOffice, fromOUString(fromUtf8(path_)), {}, {}, {}};
    try {
        Reference<css::frame::XStorable> storable(document_, UNO_QUERY_THROW);
        if (lockedElsewhere_ || storable->isReadonly()) throw refusedStore(path_);
        // Another program saved over the file since it was loaded: storing would lose its content.
        if (identity_ && identityOf(path_) != identity_)
            throw Failure("not storing " + path_ + ": another program changed it since it was opened",
                          causeAbout(FailureCause::Kind::FileChanged, path_));
        // The file as it is on disk is copied before any store over it; without a copy there is none.
        report.backupPath = session()->backUp(path_);
        if (!writeInPlace(report)) storeByOffice(report);
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot save " + path_, e), storeFailureCause(path_));
    }
    // What the file holds now, so that an undo can tell whether it has changed since.
    std::vector<ResultColumns> results;
    for (const WorkbookEdit& edit : edits_) results.push_back(resultColumnsOf(edit));
    if (!recordStored(session()->backups, toUtf8(report.backupPath), path_, results))
        std::cerr << "pellucor: the store of " << path_ << " cannot be undone: its state was not recorded\n";
    return report;
}

// Stores in the format it was loaded from: an .xls stays an .xls.
void CalcWorkbook::storeByOffice(StoreReport& report) {
    report.features = featuresTheStoreChanges(document_, path_);
    const StoreTemporaries temporaries(path_);
    try {
        Reference<css::frame::XStorable>(document_, UNO_QUERY_THROW)->store();
    } catch (...) {
        temporaries.removeNew();
        throw;
    }
}

// An .xlsx, .xlsm or .xls file takes the run's change into the file itself, which leaves everything
// else in it as it was; the office's store, which rewrites the whole file, is the fallback.
bool CalcWorkbook::writeInPlace(StoreReport& report) {
    const auto dot = path_.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : path_.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool package = extension == "xlsx" || extension == "xlsm";
    if (!package && extension != "xls") return false;
    if (edits_.size() != 1) {
        report.notInPlaceBecause = u"更改不止插入的列和结果";
        return false;
    }
    try {
        if (package) {
            xlsx::applyInPlace(path_, edits_.front(), identity_);
        } else {
            xls::applyInPlace(path_, edits_.front(), identity_);
        }
        report.how = StoreReport::How::InPlace;
        return true;
    } catch (const Unsupported& u) {
        std::cerr << "pellucor: " << path_ << " is stored by the office: " << u.what() << '\n';
        report.notInPlaceBecause = u.reason();
        return false;
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

const ShownAs& CalcWorkbook::shownAs(sal_Int32 key) {
    if (auto known = shownAs_.find(key); known != shownAs_.end()) return known->second;
    Reference<css::beans::XPropertySet> properties = numberFormats()->getByKey(key);
    sal_Int16 type = 0;
    OUString code;
    css::lang::Locale locale;
    properties->getPropertyValue("Type") >>= type;
    properties->getPropertyValue("FormatString") >>= code;
    properties->getPropertyValue("Locale") >>= locale;
    ShownAs shown;
    if (type & css::util::NumberFormat::LOGICAL)
        shown.kind = CellValue::Kind::Boolean;
    else if (type & (css::util::NumberFormat::DATE | css::util::NumberFormat::TIME))
        shown.kind = CellValue::Kind::Date;
    const bool general = shown.kind == CellValue::Kind::Number &&
                         Reference<css::util::XNumberFormatTypes>(numberFormats(), UNO_QUERY_THROW)
                                 ->getStandardIndex(locale) == key;
    if (!general)
        shown.format =
            std::make_shared<const NumberFormat>(NumberFormat{fromOUString(code), localeTag(locale)});
    return shownAs_.emplace(key, std::move(shown)).first->second;
}

double CalcWorkbook::dateOffset() {
    if (!dateOffset_) {
        css::util::Date nullDate{30, 12, 1899};
        Reference<css::beans::XPropertySet>(document_, UNO_QUERY_THROW)->getPropertyValue("NullDate") >>=
            nullDate;
        using namespace std::chrono;
        const auto day = [](const css::util::Date& d) {
            return sys_days{year{d.Year} / month{d.Month} / d.Day}.time_since_epoch().count();
        };
        dateOffset_ = static_cast<double>(day(nullDate) - day({30, 12, 1899}));
    }
    return *dateOffset_;
}

void CalcWorkbook::applyFormat(const NumberFormat& format,
                               const std::vector<css::table::CellRangeAddress>& ranges) {
    const OUString code = toOUString(format.code);
    const css::lang::Locale locale = localeOf(format.locale);
    sal_Int32 key = numberFormats()->queryKey(code, locale, false);
    try {
        if (key < 0) key = numberFormats()->addNew(code, locale);
    } catch (const css::util::MalformedNumberFormatException& e) {
        throw Failure("the number format \"" + utf8(format.code) + "\" is not one the office knows");
    }
    Reference<css::sheet::XSheetCellRangeContainer> cells(
        Reference<css::lang::XMultiServiceFactory>(document_, UNO_QUERY_THROW)
            ->createInstance("com.sun.star.sheet.SheetCellRanges"),
        UNO_QUERY_THROW);
    cells->addRangeAddresses(
        Sequence<css::table::CellRangeAddress>(ranges.data(), static_cast<sal_Int32>(ranges.size())), false);
    Reference<css::beans::XPropertySet>(cells, UNO_QUERY_THROW)->setPropertyValue("NumberFormat", Any(key));
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
