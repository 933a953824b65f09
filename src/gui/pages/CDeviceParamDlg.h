#pragma once
// The recorder's settings page (view page 11 for the family without a phone
// book): every parameter of the recorder, read from it when it connects and
// written back with Update, through the device library.

#include <QDateEdit>
#include <QTimeEdit>
#include <QTimer>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "device/DeviceParameters.h"
#include "widgets/CScrollDlg.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lk::gui {

class DeviceLibraryLoader;

class CDeviceParamDlg : public CScrollDlg {
    Q_OBJECT
  public:
    enum : int { TimerPending = 100, kPendingMs = 8000 };
    enum ControlId : int {
        IdDatePicker = 1007,
        IdTimePicker = 1009,
        IdRead = 1061,
        IdUpdate = 1062,
    };

    CDeviceParamDlg(DeviceLibraryLoader& device, QWidget* parent);

    // A notification forwarded by the frame: w = 0 connection, 1 a value,
    // 2 a write done.
    void OnDeviceNotify(unsigned w, unsigned l);
    void OnConnectionChanged(bool connected);
    void OnValue(int number, int value);
    void OnWriteDone(std::uint32_t requestId);

    void OnRead();
    void OnUpdate();
    void OnTimer(int id);

    // The block Update hands to the library, filled from the controls.
    tagDeviceParameters CollectParameters() const;

    QComboBox* List(int id) const;
    QLineEdit* Edit(int id) const;
    QDateEdit* DatePicker() const { return date_; }
    QTimeEdit* TimePicker() const { return time_; }
    QPushButton* Button(int id) const;
    // Every control that connection and pending requests switch.
    const std::vector<QWidget*>& Controls() const { return controls_; }
    bool TimerActive() const { return timer_.isActive(); }
    int TimerInterval() const { return timer_.interval(); }
    std::uint32_t RequestId() const { return requestId_; }
    // What became of the last Update ("written", or why not).
    QString StatusText() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    struct Field {
        std::size_t offset;
        int control;
        ParamShape shape;
    };
    QWidget* BuildPage();
    void EnableAll(bool on);
    void ClearAll();
    void SetDateFormat(int index);
    void SetTimeFormat(int index);
    ClockParts Clock() const;
    void SetClock(const ClockParts& c);
    void SetStatus(const QString& text);
    // The first number field out of its range, said with its name and range.
    struct Problem {
        int control;
        QString text;
    };
    std::optional<Problem> RangeProblem() const;

    DeviceLibraryLoader& device_;
    QDateEdit* date_ = nullptr;
    QTimeEdit* time_ = nullptr;
    std::map<int, QComboBox*> lists_;
    std::map<int, QLineEdit*> edits_;
    std::map<int, QPushButton*> buttons_;
    std::vector<QWidget*> controls_;
    QTimer timer_;
    std::uint32_t requestId_ = kNoDeviceRequest;
    QLabel* status_ = nullptr;
    bool writing_ = false;
};

// Picker display formats by the format lists' positions.
QString DeviceDateFormat(int index);
QString DeviceTimeFormat(int index);

}  // namespace lk::gui
