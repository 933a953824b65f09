#pragma once
// The progress of an import: lists a folder's recordings on a worker into a
// list of its own, which the caller takes over once the worker ended (so the
// UI never reads a list that a worker still appends to).

#include <QDialog>
#include <filesystem>

#include "backup/ImportRecords.h"
#include "card/RecorderState.h"
#include "dialogs/DialogServices.h"
#include "support/DialogWorker.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace lk::gui {

class CImportDlg : public QDialog {
    Q_OBJECT
  public:
    CImportDlg(std::filesystem::path folder, ContactList contacts, DialogServices services,
               QWidget* parent);
    ~CImportDlg() override;

    // Starts the worker; the window closes by itself when it ends.
    bool StartImport();
    // Cancel stops the worker and closes once it ended.
    void done(int result) override;

    bool Running() const { return worker_.Running(); }
    bool Stopping() const { return worker_.ClosePending(); }
    const ImportResult& LastResult() const { return result_; }
    // The records found, in listing order (valid after the worker ended).
    RecordList TakeRecords() { return std::move(records_); }

  signals:
    void ImportFinished();

  private:
    void OnFinished();

    std::filesystem::path folder_;
    ContactList contacts_;
    DialogServices services_;
    DialogWorker worker_;
    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    RecordList records_;
    ImportResult result_;
};

}  // namespace lk::gui
