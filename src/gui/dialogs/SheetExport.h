#pragma once
// Export to Spreadsheet: the list the user looks at, in its order, written
// into a workbook (or CSV) on a worker with progress, then opened with the
// desktop's program for it. One export at a time.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "card/CallRecord.h"
#include "export/SheetWriter.h"
#include "support/DialogWorker.h"

namespace lk::gui {

class CSortListCtrl;
class ProgressDialog;

class SheetExport : public QObject {
    Q_OBJECT
  public:
    // Asks where to save, proposing a path; empty: the user cancelled.
    using PathChooser = std::function<QString(QWidget* parent, const QString& proposed)>;
    // Opens the written file; false when no program takes it.
    using Opener = std::function<bool(const QString& path)>;

    SheetExport(QWidget* parent, ProgressDialog* progress);
    ~SheetExport() override;

    // Takes the rows and headings of `list` now; nothing for an empty list or
    // while an export runs.
    // `annotate` gives a row's note and tags ("" when none); the sheet gains
    // Note and Tags columns only when some row has one.
    using Annotate = std::function<std::pair<std::string, std::string>(const CallRecord&)>;
    void Start(const CSortListCtrl* list, const Annotate& annotate = {});
    bool Running() const { return worker_.Running(); }

    void SetPathChooser(PathChooser chooser) { chooser_ = std::move(chooser); }
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

    // "Calls YYYY-MM-DD.xlsx" in "ExportPath", or in the Documents folder.
    static QString ProposedPath();

  signals:
    void StatusText(const QString& text);
    void Finished(lk::SheetWriteResult result, const QString& path);

  private:
    void OnProgress(int done, int total);
    void OnDone();

    QWidget* parent_;
    ProgressDialog* progress_;
    PathChooser chooser_;
    Opener opener_;
    // Of the run in hand; the result is written by the worker before Finished.
    QString path_;
    int rows_ = 0;
    SheetWriteResult result_ = SheetWriteResult::CreateFailed;
    DialogWorker worker_;  // last: it stops before the members its job uses go
};

}  // namespace lk::gui
