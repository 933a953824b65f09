#include "support/SettingsWrite.h"

#include "app/Settings.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {

namespace {
constexpr int kNotSaved = 322;
constexpr int kCaption = 323;
}  // namespace

bool ReportSettingsWrite(bool written, QWidget* parent) {
    if (!written)
        ShowMessage(parent,
                    Lang(kNotSaved) + QLatin1Char('\n') +
                        QString::fromStdString(SettingsFilePath().string()),
                    Lang(kCaption), QMessageBox::Warning);
    return written;
}

}  // namespace lk::gui
