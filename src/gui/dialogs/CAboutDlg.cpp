#include "dialogs/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ExeDir.h"
#include "support/GuiText.h"

#include "Version.h"

namespace lk::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), logo_(new QLabel(this)) {
    setWindowTitle(Lang(85));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 24, 16);
    grid->setHorizontalSpacing(16);
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/linekeeper.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    using Text = std::string (*)();
    static constexpr Text kLines[] = {SoftwareName, CompanyName,   CompanyAddress, CompanyTel,
                                      CompanyFax,   CompanyMobile, CompanyWeb,     CompanyEmail};
    QStringList texts;
    for (Text line : kLines)
        texts << SettingText(line());
    texts << QLatin1String(kVersionText);
    texts << QStringLiteral("LineKeeper");
    for (const QString& t : texts) {
        // A contact the settings leave empty takes no room.
        if (t.trimmed().isEmpty()) continue;
        auto* l = new QLabel(t, this);
        l->setTextFormat(Qt::PlainText);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        column->addWidget(l);
        lines_.append(l);
    }
    QFont bold = lines_.front()->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    lines_.front()->setFont(bold);
    grid->addLayout(column, 0, 1);

    // The logo, shown in a 128 x 64 area; its first pixel's colour is the background.
    const QString logoPath = QString::fromStdString((ConfigDir() / "logo.bmp").string());
    QImage image(logoPath);
    if (!image.isNull()) {
        image = image.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = image.pixel(0, 0);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == key) image.setPixel(x, y, qRgb(255, 255, 255));
        logo_->setPixmap(QPixmap::fromImage(
            image.scaled(128, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
        logo_->setFixedSize(128, 64);
    }
    logo_->setAttribute(Qt::WA_TransparentForMouseEvents);
    grid->addWidget(logo_, 0, 2, Qt::AlignTop | Qt::AlignRight);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName(QStringLiteral("aboutButtons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(buttons, 1, 0, 1, 3);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    setMinimumWidth(480);
}

QStringList CAboutDlg::Lines() const {
    QStringList out;
    for (const QLabel* l : lines_)
        out << l->text();
    return out;
}

bool CAboutDlg::HasLogo() const {
    return !logo_->pixmap().isNull();
}

void CAboutDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        reject();
        return;
    }
    QDialog::mousePressEvent(e);
}

}  // namespace lk::gui
