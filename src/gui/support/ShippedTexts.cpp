#include "support/ShippedTexts.h"

#include <QFile>

#include "app/ExeDir.h"
#include "platform/IniProfile.h"

namespace lk::gui {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    // A language file is a few kilobytes; anything far larger is not one.
    return f.read(4 << 20);
}

std::map<int, std::string> Shipped() {
    return ParseLanguageTexts(ReadAll(QStringLiteral(":/lang/LiteLang.ini")));
}

}  // namespace

std::map<int, std::string> ParseLanguageTexts(const QByteArray& file) {
    std::map<int, std::string> texts;
    bool inSection = false;
    for (QByteArray line : file.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("\xEF\xBB\xBF")) line = line.mid(3).trimmed();
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[')) {
            inSection = line.endsWith(']') && line.mid(1, line.size() - 2).trimmed().toLower() ==
                                                  QByteArrayLiteral("english");
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inSection || eq <= 0) continue;
        // Keys are the numbers written with four digits ("0007").
        const QByteArray key = line.left(eq).trimmed();
        bool ok = key.size() == 4;
        const int number = ok ? key.toInt(&ok) : 0;
        const QByteArray value = line.mid(eq + 1).trimmed();
        // The first occurrence of a key counts, as in the profile reader.
        if (ok && number >= 0 && !value.isEmpty() && !texts.count(number))
            texts.emplace(number, value.toStdString());
    }
    return texts;
}

std::string ShippedLangString(int number) {
    const auto texts = Shipped();
    const auto it = texts.find(number);
    if (it == texts.end()) return {};
    return ExpandLineBreaks(CutToUtf16Units(it->second, 1023));
}

LanguageGaps FindLanguageGaps() {
    LanguageGaps gaps;
    const auto path = ConfigDir() / "LiteLang.ini";
    gaps.file = QString::fromStdString(path.string());
    const auto inUse = ParseLanguageTexts(ReadAll(gaps.file));
    for (const auto& [number, text] : Shipped())
        if (!inUse.count(number)) ++gaps.missing;
    return gaps;
}

}  // namespace lk::gui
