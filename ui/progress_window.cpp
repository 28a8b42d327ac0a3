#include "ui/progress_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/look.h"

using namespace Qt::StringLiterals;

namespace ui {

QString phaseName(run::Phase phase) {
    return QStringView(run::phaseText(phase)).toString();
}

ProgressWindow::ProgressWindow(QWidget& owner) : QDialog(&owner) {
    setObjectName(u"progressWindow"_s);
    setWindowTitle(u"进度"_s);
    setFont(windowFont());
    phase_ = new QLabel(this);
    phase_->setObjectName(u"phase"_s);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(u"bar"_s);
    // A phase whose work is not counted keeps the bar's place rather than shrinking the window.
    QSizePolicy keepPlace = bar_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    bar_->setSizePolicy(keepPlace);
    elapsed_ = new QLabel(this);
    elapsed_->setObjectName(u"elapsed"_s);
    cancel_ = new QPushButton(u"取消"_s, this);
    cancel_->setObjectName(u"cancel"_s);
    cancel_->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(elapsed_, 1);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(phase_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().horizontalAdvance(u"M"_s) * 30);

    connect(cancel_, &QPushButton::clicked, this, &ProgressWindow::reject);
    connect(&tick_, &QTimer::timeout, this, &ProgressWindow::showElapsed);
    tick_.setInterval(1000);
    restart();
}

void ProgressWindow::restart() {
    cancelling_ = false;
    shown_.reset();
    cancel_->setEnabled(true);
    showProgress(run::Phase::OpenParent, 0, 0);
    tick_.start();
}

void ProgressWindow::finish() {
    tick_.stop();
    hide();
}

void ProgressWindow::showProgress(run::Phase phase, qint64 done, qint64 total) {
    if (phase != shown_) {
        shown_ = phase;
        inPhase_.start();
        showElapsed();
        // Once the save has begun the run finishes it: there is nothing left to cancel.
        if (phase == run::Phase::Save) cancel_->setEnabled(false);
    }
    phase_->setText(cancelling_ && phase != run::Phase::Save ? u"%1（正在取消…）"_s.arg(phaseName(phase))
                                                             : phaseName(phase));
    bar_->setVisible(total > 0);
    if (total > 0) {
        bar_->setRange(0, static_cast<int>(total));
        bar_->setValue(static_cast<int>(done));
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        bar_->setFormat(u"%1 / %2 行"_s.arg(chinese.toString(done), chinese.toString(total)));
    }
}

void ProgressWindow::showElapsed() {
    elapsed_->setText(u"已用 %1 秒"_s.arg(inPhase_.elapsed() / 1000));
}

void ProgressWindow::reject() {
    if (cancelling_ || !cancel_->isEnabled()) return;
    cancelling_ = true;
    cancel_->setEnabled(false);
    if (shown_) phase_->setText(u"%1（正在取消…）"_s.arg(phaseName(*shown_)));
    emit cancelRequested();
}

}  // namespace ui
