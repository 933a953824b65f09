#pragma once
// Export to Spreadsheet: the list the user looks at, in its order, written
// into a workbook (or CSV) on a worker with progress, then opened with the
// desktop's program for it. One export at a time.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "export/SheetWriter.h"

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
    void Start(const CSortListCtrl* list);
    bool Running() const { return worker_.joinable(); }

    void SetPathChooser(PathChooser chooser) { chooser_ = std::move(chooser); }
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

    // "Calls YYYY-MM-DD.xlsx" in "ExportPath", or in the Documents folder.
    static QString ProposedPath();

  signals:
    void StatusText(const QString& text);
    void Finished(lk::SheetWriteResult result, const QString& path);

  private:
    void OnProgress(int done, int total);
    void OnDone(int result, const QString& path, int rows);

    QWidget* parent_;
    ProgressDialog* progress_;
    PathChooser chooser_;
    Opener opener_;
    std::thread worker_;
    std::atomic<int> stop_{0};
};

}  // namespace lk::gui
