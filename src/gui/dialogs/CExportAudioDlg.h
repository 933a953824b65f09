#pragma once
// Exporting calls into a folder in one go: the selected calls or the whole
// page, as WAV, MP3, Opus or FLAC, named by a template with a preview, with a
// bar, Stop, and a summary of what was written, skipped and not exported.

#include <QDialog>
#include <QStringList>
#include <optional>
#include <vector>

#include "dialogs/DialogServices.h"
#include "export/BatchExport.h"
#include "support/DialogWorker.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace lk::gui {

class CExportAudioDlg : public QDialog {
    Q_OBJECT
  public:
    // `selected` and `page` are the calls to choose between; `leftOut` lines
    // ("recording: reason") name recordings that cannot be reached.
    CExportAudioDlg(std::vector<ExportItem> selected, std::vector<ExportItem> page,
                    QStringList leftOut, DialogServices services, QWidget* parent);
    ~CExportAudioDlg() override;

    void SetFormat(AudioFormat format);
    void SetTemplate(const QString& text);
    void SetFolder(const QString& folder);
    void SetWholePage(bool whole);
    void SetKeepBoth(bool keepBoth);
    QString PreviewText() const;
    QString SummaryText() const;
    bool CanStart() const;

    void OnBrowse();
    void OnExport();
    void OnOpenFolder();
    void done(int result) override;

    bool Running() const { return worker_.Running(); }
    const BatchExportResult& Result() const { return result_; }

  signals:
    void ExportFinished();

  private:
    const std::vector<ExportItem>& Items() const;
    std::optional<BatchExportOptions> Options(QString* error) const;
    void UpdatePreview();
    void OnFinished();
    void OnStep(int position, int range, const QString& text);

    std::vector<ExportItem> selected_;
    std::vector<ExportItem> page_;
    QStringList leftOut_;
    DialogServices services_;
    DialogWorker worker_;
    QComboBox* format_;
    QLineEdit* template_;
    QLabel* preview_;
    QRadioButton* selectedOnly_;
    QRadioButton* wholePage_;
    QComboBox* existing_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QProgressBar* bar_;
    QLabel* current_;
    QPlainTextEdit* summary_;
    QPushButton* export_;
    QPushButton* openFolder_;
    QPushButton* close_;
    BatchExportResult result_;
};

}  // namespace lk::gui
