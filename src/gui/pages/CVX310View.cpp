#include "pages/CVX310View.h"

#include <QFile>
#include <QFrame>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <unordered_set>

#include "card/CallLog.h"
#include "card/RecordCommands.h"
#include "card/RecorderState.h"
#include "pages/CTreePane.h"
#include "pages/CWebPane.h"
#include "phonebook/ContactLibrary.h"
#include "records/PaneRegistry.h"
#include "records/RecordRow.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "support/MessageBox.h"

namespace lk::gui {
namespace {

// A page whose content arrives with a later feature: an empty panel.
QWidget* MakePlaceholder(QWidget* parent, const char* name) {
    auto* w = new QFrame(parent);
    w->setObjectName(QLatin1String(name));
    w->setFrameShape(QFrame::StyledPanel);
    w->setFrameShadow(QFrame::Sunken);
    return w;
}

}  // namespace

CVX310View::CVX310View(RecorderState& state, PaneRegistry& panes, QWidget* parent)
    : QWidget(parent), state_(state), registry_(panes) {
    recordBar_ = MakeToolbar(false);
    importBar_ = MakeToolbar(true);

    web_ = new CWebPane(this);
    web_->show();

    static constexpr int kOrder[] = {2, 3, 4, 5, 1, 6, 7, 8, 9, 10};
    for (int c : kOrder) {
        auto* pane = new CRecordListPane(state_, registry_, this);
        pane->SetCategory(c);
        pane->hide();
        connect(pane, &CRecordListPane::CommandRequested, this, &CVX310View::OnCommand);
        panes_[static_cast<std::size_t>(c)] = pane;
        registry_.SetPane(c, pane);
    }

    player_ = MakePlaceholder(this, "playerPane");
    player_->show();
    deviceParams_ = MakePlaceholder(this, "deviceParamsPane");
    deviceParams_->hide();
    phoneBook_ = MakePlaceholder(this, "phoneBookPane");
    phoneBook_->hide();
}

CVX310View::~CVX310View() {
    for (int c = 1; c <= 10; ++c)
        if (registry_.Pane(c) == panes_[static_cast<std::size_t>(c)]) registry_.SetPane(c, nullptr);
}

void CVX310View::FinishCreation() {
    tree_ = new CTreePane(this);
    tree_->show();
    Layout();
    tree_->Build();
    const int devType = state_.devType;
    SetDeviceName(DeviceName(devType));
    SetRemarkColumnWidth(devType == 1 ? 120 : 0);
}

QToolBar* CVX310View::MakeToolbar(bool importBar) {
    auto* bar = new QToolBar(this);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setMovable(false);
    bar->setFloatable(false);
    struct Button {
        int image, text, command;
        bool dropDown;
    };
    static const Button kRecord[] = {{0, 8, CmdPlay, false},      {1, 9, CmdDelete, false},
                                     {6, 7, CmdSearch, false},    {6, 27, CmdRefresh, false},
                                     {2, 111, CmdMark, false},    {5, 199, CmdExportSheet, true},
                                     {3, 96, CmdBackupAll, true}, {4, 98, CmdMatchContacts, false},
                                     {4, 112, CmdMail, true}};
    static const Button kImport[] = {{0, 8, CmdPlay, false},
                                     {13, 216, CmdImportFolder, false},
                                     {14, 217, CmdClearImported, false},
                                     {5, 199, CmdExportSheet, true},
                                     {4, 112, CmdMail, true}};
    const Button* begin = importBar ? kImport : kRecord;
    const Button* end = importBar ? std::end(kImport) : std::end(kRecord);
    const QVector<QIcon>& icons = ToolbarIcons();
    for (const Button* b = begin; b != end; ++b) {
        if (b != begin) bar->addSeparator();
        auto* action = new QAction(icons.value(b->image), Lang(b->text), bar);
        action->setData(b->command);
        connect(action, &QAction::triggered, this, [this, c = b->command] { OnCommand(c); });
        if (!b->dropDown) {
            bar->addAction(action);
            continue;
        }
        auto* button = new QToolButton(bar);
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        auto* menu = new QMenu(button);
        const int command = b->command;
        connect(menu, &QMenu::aboutToShow, this, [this, menu, command] {
            menu->clear();
            auto item = [&](int text, int cmd) {
                connect(menu->addAction(Lang(text)), &QAction::triggered, this,
                        [this, cmd] { OnCommand(cmd); });
            };
            if (command == CmdBackupAll) {
                item(99, CmdBackupAll);
                item(194, CmdBackupSelected);
            } else if (command == CmdExportSheet) {
                item(97, CmdExportSheet);
                item(197, CmdExportWav);
            } else if (command == CmdMail) {
                item(209, CmdMail);
                if (state_.devType == 1) item(208, CmdMailRecorded);
            }
        });
        button->setMenu(menu);
        bar->addWidget(button);
    }
    bar->hide();
    return bar;
}

void CVX310View::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Layout();
}

void CVX310View::Layout() {
    const int cx = width(), cy = height();
    constexpr int kTree = 260;
    const int w = std::max(0, cx - kTree);
    if (tree_) tree_->setGeometry(0, 0, kTree, cy);
    recordBar_->setGeometry(kTree, 0, w, 32);
    importBar_->setGeometry(kTree, 0, w, 32);
    web_->setGeometry(kTree, 0, w, std::max(0, cy - 1));
    for (int c = 1; c <= 10; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)])
            p->setGeometry(kTree, 33, w, std::max(0, cy - 214));
    player_->setGeometry(kTree, std::max(0, cy - 180), w, 180);
    deviceParams_->setGeometry(kTree, 0, w, std::max(0, cy - 1));
    phoneBook_->setGeometry(kTree, 0, w, std::max(0, cy - 1));
}

CRecordListPane* CVX310View::PaneOf(int category) const {
    return category >= 1 && category <= 10 ? panes_[static_cast<std::size_t>(category)] : nullptr;
}

CSortListCtrl* CVX310View::CurrentList() const {
    CRecordListPane* p = PaneOf(currentPage_);
    return p ? p->List() : nullptr;
}

void CVX310View::ShowPage(int page) {
    if (page < 0 || page > 11) return;
    currentPage_ = page;
    if (tree_ && tree_->SelectedPage() != page) tree_->SelectPage(page);
    const bool listPage = page >= 1 && page <= 10;
    web_->setVisible(page == 0);
    for (int c = 1; c <= 10; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)]) p->setVisible(c == page);
    recordBar_->setVisible(page >= 1 && page <= 9);
    importBar_->setVisible(page == 10);
    player_->setVisible(page != 11);
    if (page == 0) player_->raise();
    const bool family1 = state_.devType == 1;
    phoneBook_->setVisible(page == 11 && family1);
    deviceParams_->setVisible(page == 11 && !family1);
    emit CategoryStatusChanged(page, listPage ? PaneOf(page)->List()->RowCount() : 0);
}

void CVX310View::SetDeviceName(const QString& name) {
    if (tree_) tree_->SetRootText(name);
}

void CVX310View::SetRemarkColumnWidth(int width) {
    for (int c = 1; c <= 10; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)]) p->SetRemarkColumnWidth(width);
}

bool CVX310View::Refused() {
    if (state_.loaderBusy == 0) return false;
    ShowMessage(window(), Lang(159), Lang(160), QMessageBox::Information);
    return true;
}

void CVX310View::OnCommand(int command) {
    RecorderState& st = state_;
    const bool recordPage = currentPage_ >= 1 && currentPage_ <= 9;
    switch (command) {
        case CmdPlay:
        case CmdWavePlayer:
            if (!AudioIsOpen()) {
                ShowMessage(this, Lang(169), Lang(170), QMessageBox::Warning);
                return;
            }
            break;
        case CmdSearch:
            if (Refused()) return;
            // The search dialog comes with the search feature.
            break;
        case CmdDelete: {
            if (Refused() || !recordPage) return;
            const auto result = DeleteSelected(PaneOf(currentPage_));
            if (!result) return;
            ShowMessage(this,
                        QStringLiteral("%1 %2\r\n%3 %4")
                            .arg(Lang(93))
                            .arg(result->first)
                            .arg(Lang(94))
                            .arg(result->second),
                        Lang(9), QMessageBox::Information);
            emit CategoryStatusChanged(currentPage_, PaneOf(currentPage_)->List()->RowCount());
            break;
        }
        case CmdRefresh:
            if (Refused()) return;
            emit RefreshRequested();
            break;
        case CmdMark:
            if (Refused()) return;
            if (recordPage) PaneOf(currentPage_)->ToggleMarks();
            break;
        case CmdMatchContacts:
            if (Refused()) return;
            // The address book ("ContactsFile") replaces the contacts; the reload
            // that follows fills the card records' empty names from them.
            FetchContacts(st.contacts);
            emit RefreshRequested();
            break;
        case CmdBackupAll:
        case CmdBackupSelected:
        case CmdExportSheet:
        case CmdMail:
        case CmdMailRecorded:
            if (Refused()) return;
            // These dialogs and workers come with the backup, export and
            // e-mail features.
            break;
        case CmdExportWav:
        case CmdImportFolder:
            break;
        case CmdClearImported: {
            PaneOf(10)->StopRelabel();
            st.records.ReplaceAll(RecordListId::Folder);
            break;
        }
        default:
            break;
    }
}

std::optional<std::pair<int, int>> CVX310View::DeleteSelected(CRecordListPane* pane) {
    if (!pane) return std::nullopt;
    CSortListCtrl* list = pane->List();
    const std::vector<int> selected = list->SelectedRows();
    if (selected.empty()) return std::nullopt;
    const quint64 generation = list->Model()->Generation();
    const auto answer = ShowMessage(
        this, QStringLiteral("%1 %2\r\n%3").arg(Lang(95)).arg(selected.size()).arg(Lang(92)),
        Lang(9), QMessageBox::Information, QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return std::nullopt;
    // The card watch may have reloaded the lists while the question was open;
    // the row numbers asked about would then name other records.
    if (list->Model()->Generation() != generation || state_.loaderBusy != 0) return std::nullopt;

    RecorderState& st = state_;
    const bool backup = st.viewingBackup != 0;
    const std::filesystem::path backupPath = BackupPath();
    int deleted = 0, failed = 0;
    bool skippedMarked = false;
    // Records and paths first: removing a backup record drops its rows at
    // once, which renumbers the rows still to come.
    std::vector<std::pair<CallRecord*, QString>> chosen;
    for (int row : selected)
        if (CallRecord* r = list->RowData(row))
            chosen.emplace_back(r, list->CellText(row, ColPath));
    std::unordered_set<const CallRecord*> goneRows;
    for (const auto& [r, path] : chosen) {
        if (r->marked == 1) {
            ++failed;
            skippedMarked = true;
            continue;
        }
        if (!path.isEmpty() && QFile::exists(path) && !QFile::remove(path)) {
            ++failed;
            continue;
        }
        bool entryCleared = false;
        if (backup) {
            const std::u16string p(reinterpret_cast<const char16_t*>(path.utf16()),
                                   static_cast<std::size_t>(path.size()));
            // A record not in the list any more has nothing left to clear.
            entryCleared =
                DeleteRecordByPath(st, backupPath, p) != RecordDeleteResult::EntryNotCleared;
        } else {
            const std::u16string cardPath = FieldText(r->cardPath);
            const char letter = cardPath.empty() ? 0 : static_cast<char>(cardPath[0]);
            const auto v = st.volumes.Find(letter);
            entryCleared =
                v && ClearCardLogEntry(CardVolume(letter, v->root), st.devType, r->index);
            if (entryCleared) goneRows.insert(r);
        }
        // An entry left in the log brings the record back on the next load.
        ++(entryCleared ? deleted : failed);
    }
    list->DeleteRowsOf(goneRows);
    if (skippedMarked) ShowMessage(this, Lang(164), Lang(9), QMessageBox::Information);
    return std::pair{deleted, failed};
}

}  // namespace lk::gui
