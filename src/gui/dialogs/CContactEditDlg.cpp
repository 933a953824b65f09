#include "dialogs/CContactEditDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "support/GuiText.h"

namespace lk::gui {
namespace {

QString ToQString(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}
std::u16string ToU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<std::size_t>(s.size()));
}

}  // namespace

CContactEditDlg::CContactEditDlg(std::optional<ContactRecord> source, std::string codePage,
                                 QWidget* parent)
    : QDialog(parent),
      source_(std::move(source)),
      codePage_(std::move(codePage)),
      name_(new QLineEdit(this)),
      type_(new QComboBox(this)),
      ok_(new QPushButton(this)) {
    auto* grid = new QGridLayout(this);
    static constexpr int kLabels[] = {174, 175, 176, 177, 178};
    for (int i = 0; i < 5; ++i)
        grid->addWidget(new QLabel(Lang(kLabels[i]), this), i, 0);
    name_->setMaxLength(35);
    name_->setMinimumWidth(260);
    grid->addWidget(name_, 0, 1);
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (std::size_t i = 0; i < numbers_.size(); ++i) {
        numbers_[i] = new QLineEdit(this);
        numbers_[i]->setMaxLength(30);
        numbers_[i]->setValidator(digits);
        grid->addWidget(numbers_[i], static_cast<int>(i) + 1, 1);
    }
    type_->addItems({Lang(182), Lang(183), Lang(184)});
    type_->setCurrentIndex(0);
    grid->addWidget(type_, 4, 1);

    auto* cancel = new QPushButton(Lang(195), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 5, 0, 1, 2);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    const int title = source_ ? 180 : 179;
    setWindowTitle(Lang(title));
    ok_->setText(Lang(title));
    if (source_) {
        name_->setText(ToQString(source_->Name(codePage_)));
        for (std::size_t i = 0; i < numbers_.size(); ++i)
            numbers_[i]->setText(ToQString(source_->Number(i, codePage_)));
        const int t = source_->RecordingType();
        type_->setCurrentIndex(t < type_->count() ? t : -1);
    }
    connect(name_, &QLineEdit::textChanged, this, &CContactEditDlg::OnNameChanged);
}

void CContactEditDlg::OnNameChanged(const QString& text) {
    // The recorder shows only ASCII names well: what is typed at the end
    // outside ASCII is taken back, one character after the other.
    const std::u16string kept = DropTrailingNonAscii(ToU16(text));
    if (kept.size() == static_cast<std::size_t>(text.size())) return;
    name_->setText(ToQString(kept));
    name_->setCursorPosition(static_cast<int>(name_->text().size()));
}

void CContactEditDlg::accept() {
    std::array<std::u16string, ContactRecord::kNumberCount> numbers;
    for (std::size_t i = 0; i < numbers.size(); ++i)
        numbers[i] = ToU16(numbers_[i]->text());
    // A type the list does not offer (a value other recorders wrote) stays as
    // it was unless the user picks one.
    int type = type_->currentIndex();
    if (type < 0) type = source_ ? source_->RecordingType() : 0;
    result_ = BuildContactRecord(ToU16(name_->text()), numbers, type, codePage_);
    QDialog::accept();
}

}  // namespace lk::gui
