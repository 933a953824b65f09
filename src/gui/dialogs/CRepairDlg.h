#pragma once
// Putting recordings that a card's log lost back into the log: pick the
// card's drive, start, and read how many records were added.

#include <QDialog>
#include <functional>

#include "backup/RepairCardLog.h"
#include "dialogs/DialogServices.h"
#include "session/RecordSession.h"
#include "support/DialogWorker.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace lk::gui {

// One entry of the drive list: "E:\   /media/anna/RECORDER".
QString RepairDriveText(const Volume& volume);

class CRepairDlg : public QDialog {
    Q_OBJECT
  public:
    // `repaired(letter)` runs on the UI thread after a repair of that drive.
    // A repair writes the card's log: it runs under a claim of `session`, so
    // no load reads the log meanwhile.
    CRepairDlg(RecordSession& session, DialogServices services, std::function<void(char)> repaired,
               QWidget* parent);
    ~CRepairDlg() override;

    int DriveCount() const;
    QString DriveText(int index) const;
    QString StatusText() const;
    void OnStart();
    // Ignored while a repair runs.
    void done(int result) override;

    bool Running() const { return worker_.Running(); }
    const RepairResult& LastResult() const { return result_; }

  signals:
    void RepairFinished();

  private:
    void OnFinished();

    RecordSession& session_;
    DialogServices services_;
    std::function<void(char)> repaired_;
    DialogWorker worker_;
    QComboBox* drives_;
    QProgressBar* bar_;
    QLabel* status_;
    QPushButton* start_;
    QPushButton* close_ = nullptr;
    std::vector<Volume> volumes_;
    char letter_ = 0;
    SessionClaim claim_;  // while a repair runs
    RepairResult result_;
};

}  // namespace lk::gui
