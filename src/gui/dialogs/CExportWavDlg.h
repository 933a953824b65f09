#pragma once
// Converting the selected .xtr recordings into WAV files in a chosen folder,
// with a status per file.

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

#include "dialogs/DialogServices.h"
#include "export/ConvertXtrToWav.h"
#include "support/DialogWorker.h"

class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace lk::gui {

// The status text of one conversion; empty for an encoding left as it is.
QString ConvertStatusText(ConvertResult result);

class CExportWavDlg : public QDialog {
    Q_OBJECT
  public:
    CExportWavDlg(DialogServices services, QWidget* parent);
    ~CExportWavDlg() override;

    // Adds a recording (only .xtr ones, and not while an export runs).
    void AddFile(const QString& path);
    int FileCount() const;
    QString FileAt(int row) const;
    QString StatusAt(int row) const;
    QString FolderText() const;

    void OnBrowse();
    void OnExport();
    void done(int result) override;

    bool Running() const { return worker_.Running(); }
    bool Stopping() const { return worker_.ClosePending(); }
    int Failures() const { return failures_; }

  signals:
    void ExportFinished();

  private:
    void OnFinished();

    DialogServices services_;
    DialogWorker worker_;
    QTreeWidget* list_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QProgressBar* bar_;
    QPushButton* ok_;
    QPushButton* cancel_;
    int failures_ = 0;
    std::vector<std::string> exported_;  // "source -> destination", for the audit trail
};

}  // namespace lk::gui
