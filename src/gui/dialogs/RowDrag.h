#pragma once
// Dragging calls out of a list to a file manager or a mail program: the
// recordings handed over as files (text/uri-list). WAV copies are made in a
// folder of their own in the scratch folder, since the receiving program reads
// them after the drop; they stay until the next drag or the window's end.

#include <QList>
#include <QObject>
#include <QUrl>
#include <filesystem>
#include <vector>

#include "card/CallRecord.h"

class QMimeData;

namespace lk::gui {

class RowDrag : public QObject {
  public:
    RowDrag(QObject* parent, std::filesystem::path scratch);
    ~RowDrag() override;  // removes the copies

    // The files of the records' recordings: WAV copies, or the recordings as
    // they are with `asRecorded`. Recordings that cannot be reached are left
    // out. The copies of the drag before are removed first.
    QList<QUrl> Files(const std::vector<CallRecord>& records, bool asRecorded);
    // The same as drag data; null when no file is left.
    QMimeData* Make(const std::vector<CallRecord>& records, bool asRecorded);

  private:
    std::filesystem::path folder_;
    std::vector<std::filesystem::path> copies_;
};

}  // namespace lk::gui
