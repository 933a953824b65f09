#pragma once
// The words typed into the find box, and the row texts they are looked for
// in, both folded the same way: case and accents do not count ("zollner"
// finds "Zöllner"). A row matches when it holds every word, in any order.

#include <QString>
#include <QStringView>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lk {
struct CallRecord;
}

namespace lk::gui {

// The one hook through which text kept outside the record (its note and
// tags, say) becomes findable: given a record, the text to find it by too,
// or "" for none. Set on the view (CVX310View::SetRecordFindText); called on
// the UI thread, once per row when the list is first searched, and again
// after CVX310View::RecordFindTextsChanged (say when a note was written).
using RecordFindText = std::function<QString(const CallRecord&)>;

// `text` folded and added to `out`: compatibility decomposition, combining
// marks dropped, case folded. ASCII, the common case, is only lower-cased.
void AppendFolded(QStringView text, std::u16string& out);
std::u16string Folded(QStringView text);

class FindQuery {
  public:
    FindQuery() = default;
    explicit FindQuery(QStringView typed);

    bool Empty() const { return words_.empty(); }
    const std::vector<std::u16string>& Words() const { return words_; }
    // `folded` is a text made by AppendFolded.
    [[nodiscard]] bool Matches(std::u16string_view folded) const;
    // Whether every row this query matches is also matched by `wider`, so
    // that it can look among wider's matches only: each of wider's words
    // lies inside one of this query's words ("zol" then "zoll m").
    [[nodiscard]] bool Narrows(const FindQuery& wider) const;

  private:
    std::vector<std::u16string> words_;
};

}  // namespace lk::gui
