#pragma once
// Finding records by time range, part of the number and type; the matches go
// to the search-results page and the window stays open to refine.

#include <QDialog>
#include <QLocale>
#include <array>
#include <functional>

#include "card/RecordSearch.h"
#include "dialogs/DialogServices.h"
#include "dialogs/SearchTypeBoxes.h"
#include "session/RecordSession.h"
#include "support/DialogWorker.h"

class QCheckBox;
class QDateTimeEdit;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lk::gui {

// Where the results go (the view's page 9).
struct SearchTargets {
    std::function<void()> showResultsPage;
    std::function<void()> clearResults;
    std::function<void(CallRecord*)> addResult;
};

// The pickers' display format: the locale's short date and its time, or
// "yyyy/MM/dd hh:mm:ss" when the locale gives nothing usable.
QString PickerFormat(const QLocale& locale);

class CSearchDlg : public QDialog {
    Q_OBJECT
  public:
    CSearchDlg(RecordSession& session, int page, SearchTargets targets, DialogServices services,
               QWidget* parent);
    ~CSearchDlg() override;

    void OnDateBox();
    void OnNumberBox();
    void OnTypeBox();
    void OnSearch();
    // Exit waits for a running search (the window stays, Exit disabled).
    void done(int result) override;

    // The conditions as the controls give them now.
    SearchConditions ConditionsFromControls() const;
    bool Running() const { return worker_.Running(); }
    bool Stopping() const { return worker_.ClosePending(); }
    const SearchResult& LastResult() const { return result_; }

    QCheckBox* TypeBox(int box) const { return types_[static_cast<std::size_t>(box)]; }

  signals:
    void SearchFinished();

  private:
    void SetSearching(bool searching);
    void OnFinished();
    TypeBoxState CurrentTypeBoxes() const;
    void ApplyTypeBoxes(const TypeBoxState& s);

    RecordSession& session_;
    int page_;
    SearchTargets targets_;
    DialogServices services_;
    DialogWorker worker_;
    QCheckBox* dateBox_;
    QDateTimeEdit* from_;
    QDateTimeEdit* to_;
    QCheckBox* numberBox_;
    QLineEdit* number_;
    QCheckBox* typeBox_;
    std::array<QCheckBox*, kSearchTypeBoxCount> types_{};
    QPushButton* search_;
    QPushButton* exit_;
    QProgressBar* bar_;
    SessionClaim claim_;  // the list is walked under it
    SearchResult result_;
};

}  // namespace lk::gui
