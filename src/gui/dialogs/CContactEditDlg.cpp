#include "dialogs/CContactEditDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "support/GuiText.h"
#include "support/MessageBox.h"

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

QString AsciiName(const QString& text) {
    // German umlauts and the ligatures the way names are written without them.
    static constexpr struct {
        char16_t letter;
        const char* ascii;
    } kSpelled[] = {
        {u'ä', "ae"}, {u'ö', "oe"}, {u'ü', "ue"}, {u'Ä', "Ae"}, {u'Ö', "Oe"}, {u'Ü', "Ue"},
        {u'ß', "ss"}, {u'æ', "ae"}, {u'Æ', "Ae"}, {u'œ', "oe"}, {u'Œ', "Oe"}, {u'ø', "o"},
        {u'Ø', "O"},  {u'ł', "l"},  {u'Ł', "L"},  {u'đ', "d"},  {u'Đ', "D"},
    };
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            out += c;
            continue;
        }
        const auto* spelled = std::find_if(std::begin(kSpelled), std::end(kSpelled),
                                           [c](const auto& s) { return s.letter == c.unicode(); });
        if (spelled != std::end(kSpelled)) {
            out += QLatin1String(spelled->ascii);
            continue;
        }
        // Other accented letters lose their accent; what has no ASCII base is left out.
        for (const QChar part : QString(c).normalized(QString::NormalizationForm_KD))
            if (part.unicode() < 0x80) out += part;
    }
    return out;
}

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
    auto* nameColumn = new QVBoxLayout;
    nameColumn->setSpacing(2);
    nameColumn->addWidget(name_);
    // Shown once letters were written in ASCII, so no change goes unseen.
    nameNote_ = new QLabel(Lang(362), this);
    nameNote_->setObjectName(QStringLiteral("nameNote"));
    nameNote_->setWordWrap(true);
    nameNote_->setTextFormat(Qt::PlainText);
    nameNote_->setMaximumWidth(320);
    nameNote_->hide();
    nameColumn->addWidget(nameNote_);
    grid->addLayout(nameColumn, 0, 1);
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
    // Top to bottom, as the form reads: the buttons come last.
    setTabOrder(name_, numbers_[0]);
    for (std::size_t i = 1; i < numbers_.size(); ++i)
        setTabOrder(numbers_[i - 1], numbers_[i]);
    setTabOrder(numbers_.back(), type_);
    setTabOrder(type_, ok_);
    setTabOrder(ok_, cancel);
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
    // The recorder shows only ASCII names: letters outside it are written
    // in ASCII as they are typed, and the note under the field says so.
    const QString ascii = AsciiName(text);
    if (ascii == text) return;
    const int cursor = name_->cursorPosition();
    const int after = static_cast<int>(text.size()) - cursor;
    name_->setText(ascii);
    name_->setCursorPosition(std::max(0, static_cast<int>(name_->text().size()) - after));
    nameNote_->show();
}

void CContactEditDlg::accept() {
    std::array<std::u16string, ContactRecord::kNumberCount> numbers;
    bool anyNumber = false;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        numbers[i] = ToU16(numbers_[i]->text());
        anyNumber = anyNumber || !numbers[i].empty();
    }
    // A contact without a number matches no call and cannot be dialled.
    if (!anyNumber) {
        ShowMessage(this, Lang(363), windowTitle(), QMessageBox::Warning);
        numbers_[0]->setFocus();
        return;
    }
    // A type the list does not offer (a value other recorders wrote) stays as
    // it was unless the user picks one.
    int type = type_->currentIndex();
    if (type < 0) type = source_ ? source_->RecordingType() : 0;
    result_ = BuildContactRecord(ToU16(name_->text()), numbers, type, codePage_);
    QDialog::accept();
}

}  // namespace lk::gui
