#include "pages/CVX310View.h"

#include <algorithm>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <filesystem>
#include <unordered_set>

#include "app/ExeDir.h"
#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "card/RecorderState.h"
#include "dialogs/AddressBookChooser.h"
#include "dialogs/MailSender.h"
#include "dialogs/RowDrag.h"
#include "dialogs/SheetExport.h"
#include "notes/CallNotes.h"
#include "pages/CDeviceParamDlg.h"
#include "pages/CPhoneBookDlg.h"
#include "pages/CTreePane.h"
#include "pages/CWebPane.h"
#include "phonebook/ContactLibrary.h"
#include "platform/TextCodec.h"
#include "playback/AudioOutput.h"
#include "player/CPlayerDlg.h"
#include "records/CRecordListPane.h"
#include "records/PaneRegistry.h"
#include "records/RecordRow.h"
#include "session/RecordSession.h"
#include "support/ActionAudit.h"
#include "support/CommandMenus.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "support/MessageBox.h"
#include "support/SettingsWrite.h"
#include "widgets/CSortListCtrl.h"
#include "widgets/CallNotePanel.h"
#include "widgets/FindBox.h"

namespace lk::gui {

CVX310View::CVX310View(RecordSession& session, PaneRegistry& panes, CommandActions& commands,
                       ViewServices services, QWidget* parent)
    : QWidget(parent),
      session_(session),
      state_(session.State()),
      registry_(panes),
      commands_(commands),
      services_(services) {
    sheetExport_ = new SheetExport(this, services_.progress);
    connect(sheetExport_, &SheetExport::StatusText, this, &CVX310View::StatusText);
    mailSender_ = new MailSender(this, ScratchDir());
    rowDrag_ = new RowDrag(this, ScratchDir());
    setAcceptDrops(true);
    recordBar_ = MakeToolbar(false);
    importBar_ = MakeToolbar(true);
    findBox_ = new FindBox(this);
    findBox_->setObjectName(QStringLiteral("findBox"));
    connect(findBox_, &QLineEdit::textChanged, this, &CVX310View::ApplyFind);
    // The rows' find texts are made before the first key, not with it.
    connect(findBox_, &FindBox::Entered, this, [this] {
        if (CSortListCtrl* list = CurrentList()) list->Model()->PrepareFind();
    });
    connect(findBox_, &FindBox::Left, this, [this] {
        if (CSortListCtrl* list = CurrentList()) list->setFocus(Qt::ShortcutFocusReason);
    });

    web_ = new CWebPane(this);
    web_->show();

    static constexpr int kOrder[] = {PageOutgoing, PageIncoming, PageNotes,  PageTriggered,
                                     PageAll,      PageMessages, PageMarked, PageMissed,
                                     PageSearch,   PageFolder};
    for (int c : kOrder) {
        auto* pane = new CRecordListPane(session_, registry_, commands_, this);
        pane->SetCategory(c);
        pane->hide();
        connect(pane, &CRecordListPane::CommandRequested, this, &CVX310View::OnCommand);
        // Enter and Delete act on the list that has the focus only.
        for (CommandAction* a : commands_.All())
            if (a->Row().scope == KeyScope::List) pane->List()->addAction(a);
        panes_[static_cast<std::size_t>(c)] = pane;
        registry_.SetPane(c, pane);
        // Rows dragged out hand over WAV copies, or with Shift the recordings as they are.
        CSortListCtrl* list = pane->List();
        list->SetDragData([this, list](const std::vector<int>& rows) -> QMimeData* {
            std::vector<CallRecord> records;
            for (const int row : rows)
                if (const CallRecord* r = list->RowData(row)) records.push_back(*r);
            const bool asRecorded =
                QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
            return rowDrag_->Make(records, asRecorded);
        });
        // The status bar counts the rows shown, whatever added or removed them.
        const auto recount = [this, c] {
            if (currentPage_ == c) EmitCategoryStatus();
        };
        const SortListModel* model = pane->List()->Model();
        connect(model, &QAbstractItemModel::rowsInserted, this, recount);
        connect(model, &QAbstractItemModel::rowsRemoved, this, recount);
        connect(model, &QAbstractItemModel::modelReset, this, recount);
        connect(model, &SortListModel::FindChanged, this, recount);
    }

    player_ = new CPlayerDlg(services_.audio, ScratchDir(), this);
    player_->InstallKeys(this);
    player_->setAccessibleName(Lang(319));
    player_->show();
    notePanel_ = new CallNotePanel([this]() -> CallNotes& { return Notes(); }, this);
    connect(notePanel_, &CallNotePanel::Problem, this, &CVX310View::StatusText);
    connect(notePanel_, &CallNotePanel::TagsChanged, this, &CVX310View::RefreshTags);
    // Notes and tags are found by the find box too; only calls whose
    // recording name has a note are looked up further. The database the
    // panel last used is taken as it is: looking the store up again would
    // read the settings file once per row.
    SetRecordFindText([this](const CallRecord& r) {
        CallNotes& notes = notes_ ? *notes_ : Notes();
        return QString::fromStdString(notes.SearchText(r));
    });
    connect(notePanel_, &CallNotePanel::NotesChanged, this, &CVX310View::RecordFindTextsChanged);
    // The panel follows the row the user is on in the page shown.
    for (int c = kFirstListPage; c <= kLastListPage; ++c) {
        CSortListCtrl* list = panes_[static_cast<std::size_t>(c)]->List();
        connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this, c, list](const QModelIndex& current, const QModelIndex&) {
                    if (c == currentPage_)
                        notePanel_->ShowRecord(current.isValid() ? list->RowData(current.row())
                                                                 : nullptr);
                });
    }
    deviceParams_ = new CDeviceParamDlg(services_.deviceLibrary, this);
    deviceParams_->setObjectName(QStringLiteral("deviceParamsPane"));
    deviceParams_->hide();
    phoneBook_ = new CPhoneBookDlg(this);
    phoneBook_->hide();
    chooser_ = &lk::gui::ChooseAddressBook;
    ConnectCommands();
}

CVX310View::~CVX310View() {
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (registry_.Pane(c) == panes_[static_cast<std::size_t>(c)]) registry_.SetPane(c, nullptr);
}

void CVX310View::FinishCreation() {
    tree_ = new CTreePane(this);
    tree_->show();
    BuildLayout();
    tree_->Build();
    RefreshTags();
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
    FillToolbar(bar, importBar ? ImportToolbarLayout() : RecordToolbarLayout(), commands_,
                [this] { return state_.devType == 1; });
    bar->hide();
    return bar;
}

void CVX310View::ConnectCommands() {
    CommandActions& c = commands_;
    c.On(CommandId::Play, this, &CVX310View::OnPlay);
    c.On(CommandId::WavePlayer, this, &CVX310View::OnPlay);
    c.On(CommandId::Delete, this, &CVX310View::OnDelete);
    c.On(CommandId::Refresh, this, &CVX310View::OnRefresh);
    c.On(CommandId::Mark, this, &CVX310View::OnMark);
    c.On(CommandId::MatchContacts, this, &CVX310View::OnMatchContacts);
    c.On(CommandId::ClearImported, this, &CVX310View::OnClearImported);
    c.On(CommandId::SelectAll, this, &CVX310View::OnSelectAll);
    // The player's keys and menu items.
    const std::pair<CommandId, int> playerCommands[] = {
        {CommandId::PlayerPlayPause, kCmdPlay},
        {CommandId::PlayerStop, kCmdStop},
        {CommandId::PlayerPlaySelection, kCmdPlaySelection},
        {CommandId::PlayerPlayMarked, kCmdPlayMarked},
        {CommandId::PlayerPrevious, kCmdPrevious},
        {CommandId::PlayerNext, kCmdNext},
        {CommandId::PlayerSkipBack, kCmdSkipBack},
        {CommandId::PlayerSkipForward, kCmdSkipForward},
        {CommandId::PlayerSlower, kCmdSlower},
        {CommandId::PlayerFaster, kCmdFaster},
        {CommandId::PlayerVolumeDown, kCmdVolumeDown},
        {CommandId::PlayerVolumeUp, kCmdVolumeUp},
        {CommandId::PlayerZoomIn, kCmdZoomIn},
        {CommandId::PlayerZoomOut, kCmdZoomOut},
        {CommandId::PlayerZoomAll, kCmdZoomAll},
    };
    for (auto [command, id] : playerCommands)
        c.On(command, player_, [this, id] { player_->OnCommand(id); });
    c.On(CommandId::PreviousPage, this, [this] { OnStepPage(-1); });
    c.On(CommandId::NextPage, this, [this] { OnStepPage(1); });
    c.On(CommandId::Search, this, &CVX310View::OnSearchCommand);
    c.On(CommandId::Find, this, [this] {
        if (!IsListPage(currentPage_)) ShowPage(PageAll);
        findBox_->setFocus(Qt::ShortcutFocusReason);
        findBox_->selectAll();
    });
    c.On(CommandId::BackupAll, this, [this] { OnBackupCommand(false); });
    c.On(CommandId::BackupSelected, this, [this] { OnBackupCommand(true); });
    c.On(CommandId::ExportSheet, this, &CVX310View::OnExportSheet);
    c.On(CommandId::Mail, this, [this] { OnMail(MailAttachAs::Wav); });
    c.On(CommandId::MailRecorded, this, [this] { OnMail(MailAttachAs::Recorded); });
    c.On(CommandId::MailMp3, this, [this] { OnMail(MailAttachAs::Mp3); });
    c.On(CommandId::MailOpus, this, [this] { OnMail(MailAttachAs::Opus); });
    c.On(CommandId::MailPreferred, this, [this] { OnMail(MailAttachAsByName(MailFormat())); });
    c.On(CommandId::ExportWav, this, &CVX310View::OnExportWavCommand);
    c.On(CommandId::ExportAudio, this, &CVX310View::OnExportAudioCommand);
    c.On(CommandId::OpenFolder, this, &CVX310View::OnOpenFolder);
    c.On(CommandId::EditNote, this, [this] {
        OpenNotePanel();
        if (notePanel_->HasRecord()) notePanel_->NoteEdit()->setFocus(Qt::ShortcutFocusReason);
    });
    c.On(CommandId::ImportFolder, this, [this] {
        if (!importRunning_) OnImportCommand();
    });
}

void CVX310View::BuildLayout() {
    // Toolbars over the pages; only the shown page takes room.
    auto* pages = new QWidget(this);
    auto* column = new QVBoxLayout(pages);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    // The find box keeps its place at the right whatever toolbar is shown;
    // a narrow window folds the toolbar's buttons first.
    barRow_ = new QWidget(pages);
    auto* bars = new QHBoxLayout(barRow_);
    bars->setContentsMargins(0, 0, 4, 0);
    bars->setSpacing(4);
    bars->addWidget(recordBar_, 1);
    bars->addWidget(importBar_, 1);
    bars->addWidget(findBox_);
    column->addWidget(barRow_);
    for (QWidget* w : {static_cast<QWidget*>(web_), static_cast<QWidget*>(deviceParams_),
                       static_cast<QWidget*>(phoneBook_)})
        column->addWidget(w, 1);
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)]) column->addWidget(p, 1);

    playerSplit_ = new QSplitter(Qt::Vertical, this);
    playerSplit_->setObjectName(QStringLiteral("playerSplitter"));
    playerSplit_->setChildrenCollapsible(false);
    playerSplit_->addWidget(pages);
    // The call's note and tags sit beside the player.
    bottomSplit_ = new QSplitter(Qt::Horizontal, this);
    bottomSplit_->setObjectName(QStringLiteral("noteSplitter"));
    bottomSplit_->setChildrenCollapsible(false);
    bottomSplit_->addWidget(player_);
    bottomSplit_->addWidget(notePanel_);
    bottomSplit_->setStretchFactor(0, 3);
    bottomSplit_->setStretchFactor(1, 2);
    // The player's buttons keep their words; the note takes what is left.
    bottomSplit_->setSizes({620, 380});
    bottomSplit_->setCollapsible(1, true);
    bottomSplit_->installEventFilter(this);
    playerSplit_->addWidget(bottomSplit_);
    playerSplit_->setStretchFactor(0, 1);
    playerSplit_->setStretchFactor(1, 0);
    player_->setMinimumHeight(60);

    treeSplit_ = new QSplitter(Qt::Horizontal, this);
    treeSplit_->setObjectName(QStringLiteral("treeSplitter"));
    treeSplit_->setChildrenCollapsible(false);
    treeSplit_->addWidget(tree_);
    treeSplit_->addWidget(playerSplit_);
    treeSplit_->setStretchFactor(0, 0);
    treeSplit_->setStretchFactor(1, 1);
    tree_->setMinimumWidth(120);
    // In a small window the player gives way before the list does.
    pages->setMinimumSize(300, 150);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(treeSplit_);

    // The tree 260 pixels wide and the player 180 high, or as last left.
    const int treeWidth = TreeWidth();
    const int playerHeight = PlayerHeight();
    treeSplit_->setSizes({treeWidth > 0 ? treeWidth : 260, 10000});
    playerSplit_->setSizes({10000, playerHeight > 0 ? playerHeight : 180});
}

void CVX310View::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (playerSized_ || !playerSplit_) return;
    playerSized_ = true;
    // Without a height of the user's, a small window keeps most of its room
    // for the list: the player takes 180 pixels, or two fifths when less.
    if (PlayerHeight() > 0) return;
    const int h = playerSplit_->height();
    const int player = std::min(180, h * 2 / 5);
    if (h > 0) playerSplit_->setSizes({h - player, player});
}

bool CVX310View::SaveLayout() const {
    if (!treeSplit_ || !playerSplit_) return true;
    const QList<int> t = treeSplit_->sizes();
    const QList<int> p = playerSplit_->sizes();
    bool saved = true;
    if (t.size() == 2 && t[0] > 0) saved = SetTreeWidth(t[0]) && saved;
    if (p.size() == 2 && p[1] > 0 && player_->isVisible()) saved = SetPlayerHeight(p[1]) && saved;
    return saved;
}

void CVX310View::UpdatePlaceholders() {
    const RecorderState& st = state_;
    findBox_->setPlaceholderText(Lang(831));
    findBox_->setAccessibleName(Lang(831));
    const bool noBackupFolder = services_.settings.BackupPath().empty();
    for (int c = kFirstListPage; c <= kLastListPage; ++c) {
        CRecordListPane* pane = PaneOf(c);
        if (!pane) continue;
        CSortListCtrl* list = pane->List();
        if (list->Filtered()) {
            list->SetPlaceholder(Lang(833).arg(findBox_->text().trimmed()));
        } else if (c == PageSearch) {
            list->SetPlaceholder(Lang(312));
        } else if (c == PageFolder) {
            list->SetPlaceholder(Lang(313));
        } else if (st.viewingBackup != 0 && noBackupFolder) {
            list->SetPlaceholder(Lang(314), Lang(315),
                                 [this] { commands_.Trigger(CommandId::SetBackupPath); });
        } else {
            list->SetPlaceholder(Lang(st.viewingBackup != 0 ? 320 : 316));
        }
    }
}

CRecordListPane* CVX310View::PaneOf(int category) const {
    return IsListPage(category) ? panes_[static_cast<std::size_t>(category)] : nullptr;
}

CSortListCtrl* CVX310View::CurrentList() const {
    CRecordListPane* p = PaneOf(currentPage_);
    return p ? p->List() : nullptr;
}

void CVX310View::ShowPage(int page) {
    if (page < PageWeb || page > PageDevice) return;
    currentPage_ = page;
    if (tree_ && tree_->SelectedPage() != page) tree_->SelectPage(page);
    const bool listPage = IsListPage(page);
    web_->setVisible(page == PageWeb);
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)]) p->setVisible(c == page);
    recordBar_->setVisible(page >= PageAll && page <= PageSearch);
    importBar_->setVisible(page == PageFolder);
    if (barRow_) barRow_->setVisible(listPage);
    ApplyFind();
    player_->setVisible(page != PageDevice);
    notePanel_->setVisible(listPage);
    if (bottomSplit_) bottomSplit_->setVisible(page != PageDevice);
    if (page == PageWeb) player_->raise();
    if (listPage) {
        const CSortListCtrl* list = PaneOf(page)->List();
        const QModelIndex at = list->currentIndex();
        notePanel_->ShowRecord(at.isValid() ? list->RowData(at.row()) : nullptr);
    }
    const bool family1 = state_.devType == 1;
    phoneBook_->setVisible(page == PageDevice && family1);
    deviceParams_->setVisible(page == PageDevice && !family1);
    EmitCategoryStatus();
    UpdatePlaceholders();
}

void CVX310View::EmitCategoryStatus() {
    const CSortListCtrl* list = CurrentList();
    if (!list) {
        emit CategoryStatusChanged(currentPage_, 0, -1);
        return;
    }
    emit CategoryStatusChanged(currentPage_, list->RowCount(),
                               list->Filtered() ? list->TotalRowCount() : -1);
}

void CVX310View::ApplyFind() {
    const QString typed = findBox_->text();
    // Only the page shown is narrowed; the one left shows all its rows again.
    if (foundPage_ >= 0 && foundPage_ != currentPage_)
        if (CRecordListPane* left = PaneOf(foundPage_)) left->List()->SetFindText(QString());
    CSortListCtrl* list = CurrentList();
    foundPage_ = list ? currentPage_ : -1;
    if (!list) return;
    const bool wasFiltered = list->Filtered();
    list->SetFindText(typed);
    if (list->Filtered() || wasFiltered) UpdatePlaceholders();
}

void CVX310View::SetRecordFindText(const RecordFindText& extra) {
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)]) p->SetRecordFindText(extra);
}

void CVX310View::RecordFindTextsChanged() {
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)]) p->RecordFindTextsChanged();
}

bool CVX310View::eventFilter(QObject* watched, QEvent* e) {
    if (watched == bottomSplit_ && e->type() == QEvent::Resize) FitNotePanel();
    return QWidget::eventFilter(watched, e);
}

void CVX310View::FitNotePanel() {
    const int width = bottomSplit_->width();
    const int need = player_->CaptionsWidth() + bottomSplit_->handleWidth() +
                     notePanel_->minimumSizeHint().width();
    const QList<int> sizes = bottomSplit_->sizes();
    if (width < need && sizes.value(1) > 0) {
        noteFolded_ = true;
        bottomSplit_->setSizes({width, 0});
    } else if (width >= need && noteFolded_) {
        noteFolded_ = false;
        bottomSplit_->setSizes({width * 3 / 5, width - width * 3 / 5});
    }
}

void CVX310View::OpenNotePanel() {
    if (bottomSplit_->sizes().value(1) > 0) return;
    noteFolded_ = false;
    const int panel = notePanel_->minimumSizeHint().width();
    bottomSplit_->setSizes({std::max(0, bottomSplit_->width() - panel), panel});
}

CallNotes& CVX310View::Notes() {
    const std::filesystem::path& backupPath = services_.settings.BackupPath();
    CallNotes wanted = backupPath.empty()
                           ? CallNotes::ForUser()
                           : CallNotes::ForStore(StoreRoot(backupPath, state_.devType));
    if (!notes_ || notes_->File() != wanted.File()) {
        notes_ = std::make_unique<CallNotes>(std::move(wanted));
        notesProblemSaid_ = false;
    }
    return *notes_;
}

void CVX310View::ShowTag(const QString& tag) {
    CRecordListPane* results = PaneOf(PageSearch);
    const CSortListCtrl* all = PaneOf(PageAll)->List();
    results->DeleteAllRows();
    CallNotes& notes = Notes();
    auto tagged = notes.WithTag(tag.toStdString());
    CallNotes::SortByName(tagged);
    for (int row = 0; row < all->RowCount(); ++row)
        if (CallRecord* r = all->RowData(row); r && notes.IsAmong(*r, tagged))
            results->AddRecord(r);
    ShowPage(PageSearch);
}

void CVX310View::RefreshTags() {
    CallNotes& notes = Notes();
    QStringList tags;
    for (const auto& t : notes.TagsInUse())
        tags << QString::fromStdString(t);
    if (tree_) tree_->SetTags(tags);
    // A database that cannot be used is said once, on the status bar.
    if (!notes.Usable() && !notesProblemSaid_) {
        notesProblemSaid_ = true;
        emit StatusText(QString::fromStdString(notes.Problem()));
    }
}

void CVX310View::SetDeviceName(const QString& name) {
    deviceName_ = name;
    if (tree_)
        tree_->SetRootText(source_.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, source_));
}

void CVX310View::ShowSource(const QString& source) {
    source_ = source;
    SetDeviceName(deviceName_);
    UpdatePlaceholders();
}

void CVX310View::SetRemarkColumnWidth(int width) {
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (auto* p = panes_[static_cast<std::size_t>(c)]) p->SetRemarkColumnWidth(width);
}

void CVX310View::OnCommand(int command) {
    commands_.Trigger(CommandId(command));
}

void CVX310View::OnPlay() {
    if (!AudioIsOpen()) {
        ShowMessage(this, Lang(169), Lang(170), QMessageBox::Warning);
        return;
    }
    player_->PlayListSelection(CurrentList() ? CurrentList() : PaneOf(PageAll)->List());
}

void CVX310View::OnDelete() {
    if (currentPage_ < PageAll || currentPage_ > PageSearch) return;
    const auto result = DeleteSelected(PaneOf(currentPage_));
    if (!result) return;
    ShowMessage(this,
                QStringLiteral("%1 %2\r\n%3 %4")
                    .arg(Lang(93))
                    .arg(result->first)
                    .arg(Lang(94))
                    .arg(result->second),
                Lang(9), QMessageBox::Information);
    EmitCategoryStatus();
}

void CVX310View::OnRefresh() {
    emit RefreshRequested();
    emit Announced(Lang(state_.viewingBackup != 0 ? 321 : 307));
}

void CVX310View::OnMark() {
    if (currentPage_ < PageAll || currentPage_ > PageSearch) return;
    const QStringList refused = PaneOf(currentPage_)->ToggleMarks();
    if (!refused.isEmpty()) emit StatusText(refused.join(QStringLiteral("; ")));
}

void CVX310View::OnMatchContacts() {
    // The address book ("ContactsFile") replaces the contacts; the reload
    // that follows fills the card records' empty names from them. The first
    // time, the user names it.
    if (!std::filesystem::exists(ContactsFile()) && !ChooseAddressBook()) return;
    const ContactReadResult read = session_.LoadContacts(ContactsFile());
    if (!read.Ok()) {
        ShowMessage(this, QString::fromStdString(read.message), Lang(98), QMessageBox::Warning);
        return;
    }
    emit RefreshRequested();
    emit Announced(QStringLiteral("%1 %2").arg(Lang(311)).arg(state_.contacts.size()));
}

void CVX310View::OnClearImported() {
    if (importRunning_) return;
    CRecordListPane* pane = PaneOf(PageFolder);
    // Rows go before the records they point at.
    pane->DeleteAllRows();
    session_.ClearImported();
}

bool CVX310View::AudioIsOpen() const {
    return services_.audio.IsOpen();
}

void CVX310View::OnSelectAll() {
    if (CSortListCtrl* list = CurrentList()) list->selectAll();
}

void CVX310View::OnStepPage(int step) {
    if (tree_) tree_->StepPage(step);
}

bool CVX310View::ChooseAddressBook() {
    const QString chosen = chooser_ ? chooser_(this, SettingText(ContactsFile())) : QString();
    if (chosen.isEmpty()) return false;
    return ReportSettingsWrite(SetContactsFile(chosen.toStdString()), this);
}

void CVX310View::OnExportSheet() {
    // Pages without a list export the list of all records.
    const CSortListCtrl* list = CurrentList();
    sheetExport_->Start(list ? list : PaneOf(PageAll)->List(), [this](const CallRecord& r) {
        const CallAnnotation a = Notes().Of(r);
        std::string tags;
        for (const auto& t : a.tags)
            tags += (tags.empty() ? "" : ", ") + t;
        return std::make_pair(a.note.value_or(""), tags);
    });
}

namespace {

// The local files and folders of a drop from another program; empty for
// anything else (our own rows dragged back in, text, web links).
QStringList DroppedPaths(const QDropEvent* e) {
    QStringList paths;
    if (e->source() != nullptr || !e->mimeData()->hasUrls()) return paths;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

}  // namespace

void CVX310View::dragEnterEvent(QDragEnterEvent* e) {
    if (!importRunning_ && !DroppedPaths(e).isEmpty()) e->acceptProposedAction();
}

void CVX310View::dropEvent(QDropEvent* e) {
    const QStringList paths = DroppedPaths(e);
    if (paths.isEmpty()) return;
    e->acceptProposedAction();
    // After the drop has ended: the import window must not run inside the
    // other program's drag.
    QTimer::singleShot(0, this, [this, paths] { ImportDropped(paths); });
}

void CVX310View::OnMail(MailAttachAs as) {
    std::vector<CallRecord> records;
    if (const CSortListCtrl* list = CurrentList()) {
        for (const int row : list->SelectedRows())
            if (const CallRecord* r = list->RowData(row)) records.push_back(*r);
    }
    if (records.empty() && !mailSender_->Running()) return;
    if (MailFormat() != MailAttachAsName(as))
        ReportSettingsWrite(SetMailFormat(std::string(MailAttachAsName(as))), this);
    std::vector<MailCallNote> notes;
    for (const CallRecord& r : records) {
        const CallAnnotation a = Notes().Of(r);
        MailCallNote n{a.note.value_or(""), {}};
        for (const auto& t : a.tags)
            n.tags += (n.tags.empty() ? "" : ", ") + t;
        notes.push_back(std::move(n));
    }
    mailSender_->Start(std::move(records), as, state_.devType, std::move(notes));
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
    if (list->Model()->Generation() != generation || session_.Busy()) return std::nullopt;

    int deleted = 0, failed = 0;
    bool skippedMarked = false;
    QStringList reasons;
    // Records first: removing a backup record drops its rows at once, which
    // renumbers the rows still to come.
    std::vector<CallRecord*> chosen;
    for (int row : selected)
        if (CallRecord* r = list->RowData(row)) chosen.push_back(r);
    std::unordered_set<const CallRecord*> goneRows;
    std::vector<std::string> logged;
    for (CallRecord* r : chosen) {
        if (r->marked == 1) {
            ++failed;
            skippedMarked = true;
            continue;
        }
        // The recording and the entry are those of the file the record was
        // read from; a path leaving its card or store is refused there.
        const CallRecord* record = r;
        std::string what = ToUtf8(FieldText(r->filePath));
        if (what.empty()) what = ToUtf8(FieldText(r->number));
        const RecordDeletion deletion = session_.Delete(*r);
        if (!deletion.change.done) {
            ++failed;
            reasons << QStringLiteral("%1: %2").arg(FilePathText(*r),
                                                    QString::fromStdString(deletion.change.reason));
            continue;
        }
        ++deleted;
        logged.push_back(std::move(what));
        // A record that left its list took its rows with it.
        if (!deletion.removed) goneRows.insert(record);
    }
    list->DeleteRowsOf(goneRows);
    if (!logged.empty()) LogUserAction(this, "deleted", logged, {}, state_.devType);
    if (skippedMarked) ShowMessage(this, Lang(164), Lang(9), QMessageBox::Information);
    if (!reasons.isEmpty()) emit StatusText(reasons.join(QStringLiteral("; ")));
    return std::pair{deleted, failed};
}

}  // namespace lk::gui
