#include "device/DeviceParameters.h"

#include <algorithm>
#include <array>

#include "platform/ByteIo.h"

namespace lk {
namespace {

using namespace DeviceParam;
using S = ParamShape;

constexpr std::array<DeviceParamSlot, 31> kSlots = {{
    {kClockFromCalls, 0, S::ListIndex},
    {kLanguage, 1, S::ListIndex},
    {kTriggerLevel, 3, S::Number},
    {kTriggerEndSeconds, 4, S::Number},
    {kLineRecordingMode, 5, S::ListIndex},
    {kMicRecordingMode, 6, S::ListIndex},
    {kLongestRecording, 7, S::ListIndex},
    {kShortestRecording, 8, S::ListIndex},
    {kLoopRecording, 9, S::ListIndex},
    {kStorageReminderHours, 10, S::Number},
    {kSpaceKeptFreePercent, 11, S::Number},
    {kNoticeTone, 12, S::ListIndex},
    {kDateFormat, 13, S::ListIndex},
    {kTimeFormat, 14, S::ListIndex},
    {kYear, 128, S::Year},
    {kMonth, 15, S::Month},
    {kDay, 16, S::Day},
    {kHour, 17, S::Hour},
    {kMinute, 18, S::Minute},
    {kBrightness, 20, S::Brightness},
    {kDialOutWaitSeconds, 21, S::Number},
    {kOffHookVolts, 129, S::OffHookVolts},
    {kAnsweringMachine, 24, S::ListIndex},
    {kMonitoring, 25, S::ListIndex},
    {kLongestMessage, 26, S::ListIndex},
    {kRingsBeforeAnswer, 27, S::ListIndex},
    {kRemoteRings, 28, S::RemoteRings},
    {kRemoteCode1, 29, S::ListIndex},
    {kRemoteCode2, 30, S::ListIndex},
    {kRemoteCode3, 31, S::ListIndex},
    {kManualRecordingMode, 22, S::ListIndex},
}};

MutableByteSpan Bytes(tagDeviceParameters& p) {
    return {p.bytes, sizeof p.bytes};
}
ByteSpan Bytes(const tagDeviceParameters& p) {
    return {p.bytes, sizeof p.bytes};
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

}  // namespace

std::int32_t GetDeviceParameter(const tagDeviceParameters& p, std::size_t offset) {
    return ReadI32(Bytes(p), offset);
}

void SetDeviceParameter(tagDeviceParameters& p, std::size_t offset, std::int32_t value) {
    WriteI32(Bytes(p), offset, value);
}

std::span<const DeviceParamSlot> DeviceParamSlots() {
    return kSlots;
}

std::optional<DeviceParamSlot> SlotForAnswer(int number) {
    for (const DeviceParamSlot& s : kSlots)
        if (s.number == number) return s;
    return std::nullopt;
}

std::int32_t DeviceValueFromShown(ParamShape shape, std::int32_t shown) {
    // Wrapping arithmetic: a typed number near the limits must not overflow.
    const auto u = static_cast<std::uint32_t>(shown);
    switch (shape) {
        case S::Brightness:
            return static_cast<std::int32_t>(u + 1u);
        case S::RemoteRings:
            return static_cast<std::int32_t>(u + 5u);
        case S::OffHookVolts:
            return static_cast<std::int32_t>(u * 10u);
        default:
            return shown;
    }
}

std::int32_t ShownFromDeviceValue(ParamShape shape, std::int32_t value) {
    switch (shape) {
        case S::Brightness:
            return value - 1;
        case S::RemoteRings:
            return value - 5;
        case S::OffHookVolts:
            return value / 10;
        default:
            return value;
    }
}

DeviceNotify DecodeDeviceNotify(std::uint32_t w, std::uint32_t l) {
    DeviceNotify n;
    switch (w) {
        case 0:
            n.kind = DeviceNotifyKind::Connection;
            n.connected = l == 1;
            break;
        case 1:
            n.kind = DeviceNotifyKind::Value;
            n.number = static_cast<int>(l & 0xFFFFu);
            n.value = static_cast<int>(l >> 16);
            break;
        case 2:
            n.kind = DeviceNotifyKind::WriteDone;
            n.requestId = l & 0xFFFFu;
            break;
        default:
            break;
    }
    return n;
}

std::uint32_t EncodeValueAnswer(int number, std::uint32_t value) {
    return (static_cast<std::uint32_t>(number) & 0xFFFFu) | ((value & 0xFFFFu) << 16);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

ClockParts ApplyClockAnswer(ClockParts c, ParamShape part, int value) {
    switch (part) {
        case S::Year:
            if (value < 1601 || value > 9999) return c;
            c.year = value;
            break;
        case S::Month:
            if (value < 1 || value > 12) return c;
            c.month = value;
            break;
        case S::Day:
            if (value < 1 || value > DaysInMonth(c.year, c.month)) return c;
            c.day = value;
            return c;
        case S::Hour:
            if (value < 0 || value > 23) return c;
            c.hour = value;
            return c;
        case S::Minute:
            if (value < 0 || value > 59) return c;
            c.minute = value;
            return c;
        default:
            return c;
    }
    c.day = std::min(c.day, DaysInMonth(c.year, c.month));
    return c;
}

}  // namespace lk
