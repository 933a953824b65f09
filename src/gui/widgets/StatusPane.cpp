#include "widgets/StatusPane.h"

#include <algorithm>

namespace lk::gui {

namespace {

// Texts up to this many average characters are kept whole.
constexpr int kKeptCharacters = 28;

}  // namespace

StatusPane::StatusPane(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setMinimumWidth(20);
}

void StatusPane::SetText(const QString& text) {
    setText(text);
    const int whole = fontMetrics().horizontalAdvance(text) + 2 * margin() + 2 * frameWidth() + 4;
    const int kept = fontMetrics().averageCharWidth() * kKeptCharacters;
    setMinimumWidth(std::max(20, std::min(whole, kept)));
}

}  // namespace lk::gui
