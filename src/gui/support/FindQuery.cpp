#include "support/FindQuery.h"

#include <QList>
#include <algorithm>

namespace lk::gui {

void AppendFolded(QStringView text, std::u16string& out) {
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const auto n = static_cast<std::size_t>(text.size());
    bool ascii = true;
    for (std::size_t i = 0; i < n && ascii; ++i)
        ascii = p[i] < 0x80;
    if (ascii) {
        const std::size_t at = out.size();
        out.append(p, n);
        for (std::size_t i = at; i < out.size(); ++i)
            if (out[i] >= u'A' && out[i] <= u'Z') out[i] = static_cast<char16_t>(out[i] + 32);
        return;
    }
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (!c.isMark()) kept.append(c);
    const QString folded = kept.toCaseFolded();
    out.append(reinterpret_cast<const char16_t*>(folded.utf16()),
               static_cast<std::size_t>(folded.size()));
}

std::u16string Folded(QStringView text) {
    std::u16string out;
    AppendFolded(text, out);
    return out;
}

FindQuery::FindQuery(QStringView typed) {
    for (const QStringView word : typed.split(u' ', Qt::SkipEmptyParts)) {
        std::u16string w = Folded(word.trimmed());
        if (!w.empty() && std::find(words_.begin(), words_.end(), w) == words_.end())
            words_.push_back(std::move(w));
    }
}

bool FindQuery::Matches(std::u16string_view folded) const {
    for (const std::u16string& w : words_)
        if (folded.find(w) == std::u16string_view::npos) return false;
    return true;
}

bool FindQuery::Narrows(const FindQuery& wider) const {
    if (wider.Empty()) return true;
    return std::all_of(wider.words_.begin(), wider.words_.end(), [this](const std::u16string& w) {
        return std::any_of(words_.begin(), words_.end(), [&w](const std::u16string& mine) {
            return mine.find(w) != std::u16string::npos;
        });
    });
}

}  // namespace lk::gui
