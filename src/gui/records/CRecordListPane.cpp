#include "records/CRecordListPane.h"

#include <QMenu>
#include <QVBoxLayout>

#include "records/PaneRegistry.h"
#include "records/RecordPages.h"
#include "session/RecordSession.h"
#include "support/CommandMenus.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/Icons.h"

namespace lk::gui {
namespace {

struct ColumnDef {
    int heading;
    int width;
};
constexpr ColumnDef kColumns[kRecordColumns] = {{15, 40},  {196, 40},  {16, 120},
                                                {11, 180}, {12, 150},  {13, 120},
                                                {14, 120}, {214, 120}, {26, 300}};

}  // namespace

CRecordListPane::CRecordListPane(RecordSession& session, PaneRegistry& panes,
                                 CommandActions& commands, QWidget* parent)
    : QWidget(parent),
      session_(session),
      panes_(panes),
      commands_(commands),
      list_(new CSortListCtrl(this)),
      cells_(std::make_shared<RecordCells>(session.State().devType, RowLabels::Load())) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    list_->SetImageList(ListIcons());
    QVector<QString> imageTexts(ListIcons().size());
    imageTexts[IconMarked] = Lang(17).toLower();
    imageTexts[IconRecording] = Lang(304);
    list_->SetImageTexts(imageTexts);
    // A long path keeps its file name in view.
    list_->SetColumnElide(ColPath, Qt::ElideMiddle);
    list_->SetRowSource(cells_);
    for (int c = 0; c < kRecordColumns; ++c)
        list_->InsertColumn(c, Lang(kColumns[c].heading), kColumns[c].width);
    for (int c = 0; c < kRecordColumns; ++c) {
        const int v = ListColumnWidth(c);
        list_->SetColumnWidthOrFit(c, static_cast<std::int16_t>(v & 0xffff));
    }

    connect(list_, &CSortListCtrl::RowDoubleClicked, this,
            [this](int) { emit CommandRequested(CmdPlay); });
    connect(list_, &CSortListCtrl::CellLeftClicked, this, [this](int row, int column) {
        if (column != ColMark || row < 0) return;
        // Posted, so the click's own selection change is complete first.
        QMetaObject::invokeMethod(
            this, [this] { emit CommandRequested(CmdMark); }, Qt::QueuedConnection);
    });
    connect(list_, &CSortListCtrl::ContextMenuRequested, this, &CRecordListPane::OnContextMenu);
}

CRecordListPane::~CRecordListPane() {
    // Only the pane of all records keeps the user's column widths.
    if (category_ == PageAll)
        for (int c = 0; c < list_->ColumnCount(); ++c)
            // Nobody is left to tell on screen while the window goes.
            if (!SetListColumnWidth(c, list_->isColumnHidden(c) ? 0 : list_->columnWidth(c)))
                qWarning("column width %d not saved in the settings", c + 1);
}

void CRecordListPane::AddRecord(CallRecord* record) {
    if (record) list_->AppendRecords({record});
}

void CRecordListPane::AddRecords(const std::vector<CallRecord*>& records) {
    list_->AppendRecords(records);
}

int CRecordListPane::DeleteAllRows() {
    return list_->DeleteAllRows();
}

void CRecordListPane::SetRemarkColumnWidth(int width) {
    list_->setColumnHidden(ColRemark, width <= 0);
    if (width > 0) list_->setColumnWidth(ColRemark, width);
}

void CRecordListPane::SetCategory(int category) {
    category_ = category;
    if (IsListPage(category)) list_->setAccessibleName(Lang(PageCaption(category)));
    // The loader fills these lists newest first.
    if (category >= PageAll && category <= PageMissed)
        list_->SetNaturalOrder(ColTime, Qt::DescendingOrder);
}

void CRecordListPane::Relabel() {
    SetCategory(category_);
    for (int c = 0; c < kRecordColumns && c < list_->ColumnCount(); ++c)
        list_->SetColumnHeading(c, Lang(kColumns[c].heading));
    // The rows make their texts when shown: new labels are all they need.
    cells_->Reload(RowLabels::Load());
    list_->RowSourceChanged();
}

QStringList CRecordListPane::ToggleMarks() {
    QStringList refused;
    for (int row : list_->SelectedRows()) {
        CallRecord* r = list_->RowData(row);
        if (!r) continue;
        // Written where the record was read from; the record and its rows
        // change only when the entry took the mark.
        const RecordChange change = session_.Mark(*r, r->marked == 0 ? 1 : 0);
        if (!change.done) {
            refused << QStringLiteral("%1: %2").arg(FilePathText(*r),
                                                    QString::fromStdString(change.reason));
            continue;
        }
        list_->RefreshRow(row);  // the flag icon follows the record

        for (int c : PagesFollowingMark(*r))
            if (CRecordListPane* pane = panes_.Pane(c)) pane->SyncMark(this, r);
    }
    return refused;
}

void CRecordListPane::SyncMark(CRecordListPane* source, CallRecord* record) {
    if (source == this || !record) return;
    // A row the find box hides counts as well: it neither stays behind
    // unmarked nor is added twice.
    if (record->marked != 1 && category_ == PageMarked) {
        list_->DeleteRowsOf({record});
        return;
    }
    const int row = list_->FindRow(record);
    if (row >= 0)
        list_->RefreshRow(row);
    else if (category_ == PageMarked && record->marked == 1 && !list_->HoldsRecord(record))
        AddRecord(record);
}

void CRecordListPane::SetRecordFindText(RecordFindText extra) {
    cells_->SetFindExtra(std::move(extra));
    list_->Model()->ForgetFindTexts();
}

void CRecordListPane::RecordFindTextsChanged() {
    list_->Model()->ForgetFindTexts();
}

void CRecordListPane::OnContextMenu(const QPoint& globalPos) {
    const bool selected = list_->SelectedCount() > 0;
    const bool imported = category_ == PageFolder;
    const int devType = session_.State().devType.load();
    QMenu menu(this);
    FillMenu(&menu, imported ? ImportRowMenuLayout() : RecordRowMenuLayout(), commands_,
             imported || devType == 1);
    commands_.EnableForSelection(selected);
    menu.exec(globalPos);
    commands_.EnableForSelection(true);
}

}  // namespace lk::gui
