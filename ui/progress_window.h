#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <optional>

#include "run/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace ui {

// The run's progress over the main window: the phase, a bar where the phase's work is counted, the
// seconds the phase has taken so far (which keep counting through a long office call), and a cancel
// button. Closing it asks to cancel as the button does; it goes away when the run ends. It is not
// modal to the window system, which would drop the main window's close: the main window keeps
// itself from input during a run instead.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget& owner);

    // A new run: the first phase, the cancel button enabled again; shown by the caller.
    void restart();
    // The run has ended: hidden, the clock stopped.
    void finish();
    void showProgress(run::Phase phase, qint64 done, qint64 total);

signals:
    void cancelRequested();

protected:
    void reject() override;

private:
    void showElapsed();

    QLabel* phase_;
    QProgressBar* bar_;
    QLabel* elapsed_;
    QPushButton* cancel_;
    QTimer tick_;
    QElapsedTimer inPhase_;
    std::optional<run::Phase> shown_;
    bool cancelling_ = false;
};

// The phase as the progress window names it.
QString phaseName(run::Phase phase);

}  // namespace ui
