#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QPointer>
#include <QWidget>

#include "run/key_condition.h"
#include "run/run_inputs.h"
#include "run/run_window.h"
#include "sheets/application.h"
#include "ui/file_chooser.h"
#include "ui/form2.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSettings;

namespace ui {

class QtRunWindow;

// The main window: every input of a run, the file choosers, the help button and the start button,
// the options window and the list of recent runs. It owns the key condition that runs share and the
// run options, which it remembers in `settings` when given, and hands every run the application
// factory. A run works
// on a thread of its own while the window stays alive; closing the window during a run cancels it
// and closes the window once the run has stopped.
class Form1 : public QWidget {
    Q_OBJECT
public:
    using Runner = std::function<void(const run::RunInputs&, run::KeyCondition&, run::RunWindow&,
                                      sheets::ApplicationFactory&)>;

    explicit Form1(sheets::ApplicationFactory& factory, QSettings* settings = nullptr,
                   QWidget* parent = nullptr);
    ~Form1() override;

    // What the start button runs, on a thread of its own; run::lookupRun unless replaced.
    void setRunner(Runner runner) { runner_ = std::move(runner); }
    // How the "..." buttons ask for a file; chooseWorkbook unless replaced.
    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // The inputs as a run started now would get them.
    run::RunInputs inputs() const;
    const run::KeyCondition& keyCondition() const { return keyCondition_; }
    const run::RunOptions& options() const { return options_; }
    // The help window while it is open, else null.
    Form2* helpWindow() const { return form2_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMatchingControls();
    void createPlacementControls();
    void createOptionControls();
    void showOptions();
    void showRunHistory();
    void showOptionsSummary();
    void setUpControls();
    void selectFirstEntries();
    void showParentCondition();
    void showChildCondition();
    void showFurtherMatching();
    void run();
    void showHelp();
    void chooseFileInto(QLineEdit& box);
    std::optional<std::string> runOffThisThread(const run::RunInputs& in);
    void takeWorkbook(QLineEdit& box, const QString& path);
    void endProgram();

    sheets::ApplicationFactory& factory_;
    Runner runner_;
    FileChooser chooser_;
    QString lastFolder_;  // of the workbook chosen last, where the file dialog opens next
    run::KeyCondition keyCondition_;
    QSettings* settings_;
    run::RunOptions options_;
    std::unique_ptr<QtRunWindow> runWindow_;
    QPointer<Form2> form2_;
    bool running_ = false;
    bool closeAfterRun_ = false;

    // The controls, named for what they are; each keeps the object name of its place on the window.
    QGroupBox* inputFrame_;                          // Frame1
    QGroupBox* furtherMatchingFrame_;                // Frame2
    QLineEdit* parentPathBox_;                       // Text1
    QLineEdit* childPathBox_;                        // Text2
    QLineEdit* parentSheetBox_;                      // Text3
    QLineEdit* parentConditionBox_;                  // Text4
    QLineEdit* childSheetBox_;                       // Text5
    QLineEdit* childConditionBox_;                   // Text6
    QLineEdit* thirdPathBox_;                        // Text7
    QComboBox* parentKeyColumnList_;                 // Combo1
    QComboBox* childKeyColumnList_;                  // Combo2
    QComboBox* parentMatchKindList_;                 // Combo3
    QComboBox* childMatchKindList_;                  // Combo4
    QComboBox* valueColumnList_;                     // Combo5
    QComboBox* matchingList_;                        // Combo6
    QComboBox* valueTestList_;                       // Combo7
    QComboBox* whoseList_;                           // Combo8
    QComboBox* childTargetColumnList_;               // Combo9
    QComboBox* thirdTargetColumnList_;               // Combo10
    QPushButton* startButton_;                       // Command1
    QPushButton* parentChooserButton_;               // Command2
    QPushButton* childChooserButton_;                // Command3
    QPushButton* helpButton_;                        // Command4
    QPushButton* thirdChooserButton_;                // Command5
    std::array<QRadioButton*, 3> placementButtons_;  // Option1_0 to Option1_2
    QButtonGroup* placementGroup_;
    QCheckBox* ignoreErrorsBox_;  // Check1
    QPushButton* optionsButton_;
    QPushButton* historyButton_;
    QLabel* optionsSummary_;
};

}  // namespace ui
