#pragma once
// The language texts the program ships with, built into it. They stand in
// for any text the language file in use lacks (an emptied or cut-off file),
// so that no window is left without its words.

#include <QByteArray>
#include <QString>
#include <map>
#include <string>

namespace lk::gui {

// The texts of a language file's "English" section by number; empty values
// count as missing.
std::map<int, std::string> ParseLanguageTexts(const QByteArray& file);

// Text `number` as shipped (line breaks expanded); empty when none.
std::string ShippedLangString(int number);

// How many shipped texts the language file in use lacks, and its path.
struct LanguageGaps {
    int missing = 0;
    QString file;
};
LanguageGaps FindLanguageGaps();

}  // namespace lk::gui
