#pragma once
// The recorder's parameters: the 128-byte block handed to the device library,
// the parameter numbers of its read answers, and the conversions between what
// the page shows (list positions, typed numbers, picker parts) and what the
// recorder stores.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "device/DeviceLibrary.h"

namespace lk {

// Byte offsets of the fields of tagDeviceParameters.
namespace DeviceParam {
inline constexpr std::size_t kClockFromCalls = 0;
inline constexpr std::size_t kLanguage = 4;
inline constexpr std::size_t kTriggerLevel = 8;
inline constexpr std::size_t kTriggerEndSeconds = 12;
inline constexpr std::size_t kLineRecordingMode = 16;
inline constexpr std::size_t kMicRecordingMode = 20;
inline constexpr std::size_t kLongestRecording = 24;
inline constexpr std::size_t kShortestRecording = 28;
inline constexpr std::size_t kLoopRecording = 32;
inline constexpr std::size_t kStorageReminderHours = 36;
inline constexpr std::size_t kSpaceKeptFreePercent = 40;
inline constexpr std::size_t kNoticeTone = 44;
inline constexpr std::size_t kDateFormat = 48;
inline constexpr std::size_t kTimeFormat = 52;
inline constexpr std::size_t kYear = 56;
inline constexpr std::size_t kMonth = 60;
inline constexpr std::size_t kDay = 64;
inline constexpr std::size_t kHour = 68;
inline constexpr std::size_t kMinute = 72;
inline constexpr std::size_t kBrightness = 76;
inline constexpr std::size_t kDialOutWaitSeconds = 80;
inline constexpr std::size_t kOffHookVolts = 84;
inline constexpr std::size_t kUnused = 88;
inline constexpr std::size_t kAnsweringMachine = 92;
inline constexpr std::size_t kMonitoring = 96;
inline constexpr std::size_t kLongestMessage = 100;
inline constexpr std::size_t kRingsBeforeAnswer = 104;
inline constexpr std::size_t kRemoteRings = 108;
inline constexpr std::size_t kRemoteCode1 = 112;
inline constexpr std::size_t kRemoteCode2 = 116;
inline constexpr std::size_t kRemoteCode3 = 120;
inline constexpr std::size_t kManualRecordingMode = 124;
}  // namespace DeviceParam

inline constexpr std::size_t kDeviceParametersSize = sizeof(tagDeviceParameters);
static_assert(kDeviceParametersSize == 128);
inline constexpr std::size_t kDeviceParameterCount = kDeviceParametersSize / 4;

// A request id that names no pending write.
inline constexpr std::uint32_t kNoDeviceRequest = 0xFFFFFFFFu;
// The answer that ends a read.
inline constexpr int kLastReadAnswer = 31;

std::int32_t GetDeviceParameter(const tagDeviceParameters& p, std::size_t offset);
void SetDeviceParameter(tagDeviceParameters& p, std::size_t offset, std::int32_t value);

// How a field is shown on the page and converted on its way to the recorder.
enum class ParamShape {
    ListIndex,     // list position as is
    Number,        // edit, number as typed
    Brightness,    // list position + 1
    RemoteRings,   // list position + 5
    OffHookVolts,  // edit in volts, stored times 10
    Year,          // date picker parts
    Month,
    Day,
    Hour,
    Minute,
};

struct DeviceParamSlot {
    std::size_t offset;
    int number;  // parameter number of its read answer
    ParamShape shape;
};

// Every field the page fills (all but the unused one), in block order.
std::span<const DeviceParamSlot> DeviceParamSlots();
// The slot a read answer fills; nothing for the numbers the page ignores.
std::optional<DeviceParamSlot> SlotForAnswer(int number);

// Shown value (list position, typed number, volts) -> stored value.
std::int32_t DeviceValueFromShown(ParamShape shape, std::int32_t shown);
// Answer value -> shown value; a list position may come out of range, which
// leaves the list without a selection.
std::int32_t ShownFromDeviceValue(ParamShape shape, std::int32_t value);

enum class DeviceNotifyKind { Connection, Value, WriteDone, Other };

struct DeviceNotify {
    DeviceNotifyKind kind = DeviceNotifyKind::Other;
    bool connected = false;       // Connection
    int number = 0;               // Value: parameter number
    int value = 0;                // Value: unsigned 16-bit value
    std::uint32_t requestId = 0;  // WriteDone: low 16 bits of l
};

DeviceNotify DecodeDeviceNotify(std::uint32_t w, std::uint32_t l);
std::uint32_t EncodeValueAnswer(int number, std::uint32_t value);

// The date and time pickers' value, part by part.
struct ClockParts {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
};

int DaysInMonth(int year, int month);
// One date or time answer changes only its own part. A value the picker could
// not hold leaves the clock unchanged; a month change keeps the day within the
// new month, so the day answer that follows still finds a valid date.
ClockParts ApplyClockAnswer(ClockParts clock, ParamShape part, int value);

}  // namespace lk
