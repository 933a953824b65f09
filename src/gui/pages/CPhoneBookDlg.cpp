#include "pages/CPhoneBookDlg.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include "dialogs/CContactEditDlg.h"
#include "platform/TextCodec.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {
namespace {

enum : int { IdAdd = 1088, IdChange = 1062, IdDelete = 1063 };
constexpr int kColumns = 5;

QString ToQString(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}
std::u16string ToU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<std::size_t>(s.size()));
}

QString TypeText(int type) {
    return type >= 0 && type < kRecordingTypeCount ? Lang(182 + type) : QString();
}

std::optional<ContactRecord> RunContactEditor(QWidget* parent,
                                              const std::optional<ContactRecord>& source,
                                              const std::string& codePage) {
    CContactEditDlg dlg(source, codePage, parent);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.Result();
}

}  // namespace

quint32 CPhoneBookDlg::RowValue(int position, int type) {
    return (static_cast<quint32>(position) & 0xFFFFu) |
           ((static_cast<quint32>(type) & 0xFFu) << 16);
}

CPhoneBookDlg::CPhoneBookDlg(QWidget* parent)
    : QWidget(parent),
      group_(new QGroupBox(Lang(173), this)),
      add_(new QPushButton(Lang(179), this)),
      change_(new QPushButton(Lang(180), this)),
      delete_(new QPushButton(Lang(181), this)),
      list_(new QTreeWidget(this)),
      editor_(&RunContactEditor) {
    setObjectName(QStringLiteral("phoneBookPage"));
    list_->setColumnCount(kColumns);
    list_->setHeaderLabels({Lang(174), Lang(175), Lang(176), Lang(177), Lang(178)});
    for (int c = 0; c < kColumns; ++c)
        list_->setColumnWidth(c, 130);
    list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Grid lines between the cells, as the recorder's other lists have.
    list_->setStyleSheet(
        QStringLiteral("QTreeView::item { border-right: 1px solid #d8d8d8; "
                       "border-bottom: 1px solid #d8d8d8; }"));
    connect(add_, &QPushButton::clicked, this, &CPhoneBookDlg::OnAdd);
    connect(change_, &QPushButton::clicked, this, &CPhoneBookDlg::OnChange);
    connect(delete_, &QPushButton::clicked, this, &CPhoneBookDlg::OnDelete);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnChange(); });
    group_->setEnabled(false);
    Enable(false);
}

QPushButton* CPhoneBookDlg::Button(int id) const {
    switch (id) {
        case IdAdd:
            return add_;
        case IdChange:
            return change_;
        case IdDelete:
            return delete_;
        default:
            return nullptr;
    }
}

std::string CPhoneBookDlg::CodePage() const {
    return CardCodePage();
}

void CPhoneBookDlg::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int w = width(), h = height();
    group_->setGeometry(2, 2, w - 4, h - 4);
    add_->setGeometry(10, 25, 120, 30);
    change_->setGeometry(135, 25, 120, 30);
    delete_->setGeometry(265, 25, 120, 30);
    list_->setGeometry(10, 65, w - 20, h - 75);
}

void CPhoneBookDlg::Enable(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(add_), static_cast<QWidget*>(change_),
                       static_cast<QWidget*>(delete_), static_cast<QWidget*>(list_)})
        w->setEnabled(on);
}

void CPhoneBookDlg::Clear() {
    group_->setEnabled(false);
    Enable(false);
    list_->clear();
}

void CPhoneBookDlg::LoadFile(const std::filesystem::path& file) {
    file_ = file;
    group_->setEnabled(true);
    Enable(true);
    list_->clear();
    const PhoneBookLoad load = LoadPhoneBook(file);
    for (const PhoneBookEntry& e : load.contacts) {
        auto* item = new QTreeWidgetItem(list_);
        SetRow(item, e.record, e.position);
    }
}

void CPhoneBookDlg::SetRow(QTreeWidgetItem* item, const ContactRecord& r, int position) {
    const std::string cp = CodePage();
    // Each cell shows at most 64 characters, as wide as the list's cells.
    auto cell = [](const std::u16string& s) { return ToQString(s).left(64); };
    item->setText(0, cell(r.Name(cp)));
    for (std::size_t i = 0; i < ContactRecord::kNumberCount; ++i)
        item->setText(static_cast<int>(i) + 1, cell(r.Number(i, cp)));
    item->setText(4, TypeText(r.RecordingType()));
    item->setData(0, Qt::UserRole, RowValue(position, r.RecordingType()));
}

ContactRecord CPhoneBookDlg::RecordOfRow(const QTreeWidgetItem* item) const {
    const quint32 value = item->data(0, Qt::UserRole).toUInt();
    const int type = static_cast<int>((value >> 16) & 0xFFu);
    return BuildContactRecord(ToU16(item->text(0)),
                              {ToU16(item->text(1)), ToU16(item->text(2)), ToU16(item->text(3))},
                              type, CodePage());
}

void CPhoneBookDlg::OnAdd() {
    if (list_->topLevelItemCount() >= kMaxPhoneBookContacts) {
        ShowMessage(this, Lang(188), Lang(179), QMessageBox::Information);
        return;
    }
    const auto result = editor_(this, std::nullopt, CodePage());
    if (!result) return;
    int position = 0;
    switch (AddContact(file_, *result, &position)) {
        case PhoneBookWrite::Done: {
            auto* item = new QTreeWidgetItem(list_);
            SetRow(item, *result, position);
            break;
        }
        case PhoneBookWrite::Full:
            // The card holds 50 contacts although fewer are listed (changed
            // behind our back): the same answer as a full list.
            ShowMessage(this, Lang(188), Lang(179), QMessageBox::Information);
            break;
        default:
            break;
    }
}

void CPhoneBookDlg::OnChange() {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    QTreeWidgetItem* item = selected.front();
    const int position = static_cast<int>(item->data(0, Qt::UserRole).toUInt() & 0xFFFFu);
    const auto result = editor_(this, RecordOfRow(item), CodePage());
    if (!result) return;
    // The row shows the new texts even when the card could not be written.
    (void)ChangeContact(file_, position, *result);
    SetRow(item, *result, position);
}

void CPhoneBookDlg::OnDelete() {
    if (list_->selectedItems().isEmpty()) return;
    if (ShowMessage(this, Lang(185), Lang(186), QMessageBox::Question,
                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    for (;;) {
        const QList<QTreeWidgetItem*> selected = list_->selectedItems();
        if (selected.isEmpty()) break;
        QTreeWidgetItem* item = selected.front();
        const int position = static_cast<int>(item->data(0, Qt::UserRole).toUInt() & 0xFFFFu);
        (void)DeleteContact(file_, position);
        delete item;
    }
}

}  // namespace lk::gui
