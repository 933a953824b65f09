#include <gtest/gtest.h>

#include <set>

#include "device/DeviceParameters.h"

namespace lk {
namespace {

using S = ParamShape;

TEST(DeviceParameters, EveryFieldButTheUnusedOneHasOneSlotAndOneAnswerNumber) {
    std::set<std::size_t> offsets;
    std::set<int> numbers;
    for (const DeviceParamSlot& s : DeviceParamSlots()) {
        EXPECT_EQ(s.offset % 4, 0u) << s.offset;
        EXPECT_LT(s.offset, kDeviceParametersSize);
        EXPECT_TRUE(offsets.insert(s.offset).second) << "offset twice: " << s.offset;
        EXPECT_TRUE(numbers.insert(s.number).second) << "number twice: " << s.number;
    }
    EXPECT_EQ(offsets.size(), kDeviceParameterCount - 1);
    EXPECT_FALSE(offsets.count(DeviceParam::kUnused));
}

TEST(DeviceParameters, AnswerNumbersNameTheirFields) {
    struct Case {
        int number;
        std::optional<std::size_t> offset;
        S shape;
    } cases[] = {
        {0, DeviceParam::kClockFromCalls, S::ListIndex},
        {3, DeviceParam::kTriggerLevel, S::Number},
        {13, DeviceParam::kDateFormat, S::ListIndex},
        {15, DeviceParam::kMonth, S::Month},
        {16, DeviceParam::kDay, S::Day},
        {17, DeviceParam::kHour, S::Hour},
        {18, DeviceParam::kMinute, S::Minute},
        {20, DeviceParam::kBrightness, S::Brightness},
        {22, DeviceParam::kManualRecordingMode, S::ListIndex},
        {24, DeviceParam::kAnsweringMachine, S::ListIndex},
        {28, DeviceParam::kRemoteRings, S::RemoteRings},
        {31, DeviceParam::kRemoteCode3, S::ListIndex},
        {128, DeviceParam::kYear, S::Year},
        {129, DeviceParam::kOffHookVolts, S::OffHookVolts},
        // Numbers the recorder keeps for itself and numbers nobody defined.
        {2, std::nullopt, S::ListIndex},
        {19, std::nullopt, S::ListIndex},
        {23, std::nullopt, S::ListIndex},
        {32, std::nullopt, S::ListIndex},
        {127, std::nullopt, S::ListIndex},
        {130, std::nullopt, S::ListIndex},
        {65535, std::nullopt, S::ListIndex},
    };
    for (const Case& c : cases) {
        const auto slot = SlotForAnswer(c.number);
        ASSERT_EQ(slot.has_value(), c.offset.has_value()) << c.number;
        if (!slot) continue;
        EXPECT_EQ(slot->offset, *c.offset) << c.number;
        EXPECT_EQ(slot->shape, c.shape) << c.number;
    }
}

TEST(DeviceParameters, ShownValuesConvertBothWays) {
    struct Case {
        S shape;
        std::int32_t shown;
        std::int32_t stored;
    } sent[] = {
        {S::Brightness, 0, 1},    {S::Brightness, 5, 6},      {S::RemoteRings, 0, 5},
        {S::RemoteRings, 15, 20}, {S::OffHookVolts, 25, 250}, {S::OffHookVolts, 15, 150},
        {S::OffHookVolts, 0, 0},  {S::ListIndex, 2, 2},       {S::Number, -3, -3},
        {S::Year, 2026, 2026},
    };
    for (const Case& c : sent)
        EXPECT_EQ(DeviceValueFromShown(c.shape, c.shown), c.stored)
            << int(c.shape) << " " << c.shown;

    Case answered[] = {
        {S::OffHookVolts, 25, 255}, {S::OffHookVolts, 25, 259}, {S::OffHookVolts, 30, 300},
        {S::Brightness, 5, 6},      {S::Brightness, -1, 0},     {S::RemoteRings, 15, 20},
        {S::RemoteRings, 0, 5},     {S::Number, 65535, 65535},  {S::ListIndex, 7, 7},
    };
    for (const Case& c : answered)
        EXPECT_EQ(ShownFromDeviceValue(c.shape, c.stored), c.shown)
            << int(c.shape) << " " << c.stored;
}

TEST(DeviceParameters, ExtremeTypedNumbersDoNotOverflow) {
    EXPECT_EQ(DeviceValueFromShown(S::Brightness, INT32_MAX), INT32_MIN);
    // Only that it is defined matters (the sanitizer build checks).
    (void)DeviceValueFromShown(S::OffHookVolts, INT32_MIN);
}

TEST(DeviceParameters, FieldsAreLittleEndianAtTheirOffsets) {
    tagDeviceParameters p{};
    SetDeviceParameter(p, DeviceParam::kOffHookVolts, 250);
    SetDeviceParameter(p, DeviceParam::kYear, 2026);
    SetDeviceParameter(p, DeviceParam::kManualRecordingMode, -1);
    for (std::size_t i = 0; i < sizeof p.bytes; ++i) {
        std::uint8_t expected = 0;
        if (i == 84) expected = 250;
        if (i == 56) expected = 0xEA;
        if (i == 57) expected = 0x07;
        if (i >= 124) expected = 0xFF;
        EXPECT_EQ(p.bytes[i], expected) << "byte " << i;
    }
    EXPECT_EQ(GetDeviceParameter(p, DeviceParam::kYear), 2026);
    EXPECT_EQ(GetDeviceParameter(p, DeviceParam::kManualRecordingMode), -1);
}

TEST(DeviceParameters, NotificationsDecode) {
    struct Case {
        std::uint32_t w, l;
        DeviceNotifyKind kind;
        bool connected;
        int number, value;
        std::uint32_t requestId;
    } cases[] = {
        {0, 1, DeviceNotifyKind::Connection, true, 0, 0, 0},
        {0, 0, DeviceNotifyKind::Connection, false, 0, 0, 0},
        {0, 2, DeviceNotifyKind::Connection, false, 0, 0, 0},
        {0, 0x10001, DeviceNotifyKind::Connection, false, 0, 0, 0},
        {1, 129u | (255u << 16), DeviceNotifyKind::Value, false, 129, 255, 0},
        {1, 0xFFFF0014u, DeviceNotifyKind::Value, false, 20, 65535, 0},
        {2, 0x12340007u, DeviceNotifyKind::WriteDone, false, 0, 0, 7},
        {3, 1, DeviceNotifyKind::Other, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const DeviceNotify n = DecodeDeviceNotify(c.w, c.l);
        EXPECT_EQ(n.kind, c.kind) << c.w << "/" << c.l;
        EXPECT_EQ(n.connected, c.connected) << c.w << "/" << c.l;
        EXPECT_EQ(n.number, c.number) << c.w << "/" << c.l;
        EXPECT_EQ(n.value, c.value) << c.w << "/" << c.l;
        EXPECT_EQ(n.requestId, c.requestId) << c.w << "/" << c.l;
    }
    EXPECT_EQ(EncodeValueAnswer(129, 250), 129u | (250u << 16));
    EXPECT_EQ(DecodeDeviceNotify(1, EncodeValueAnswer(128, 2026)).value, 2026);
}

TEST(DeviceParameters, ClockAnswersChangeOnlyTheirPart) {
    const ClockParts jan31{2026, 1, 31, 10, 20};
    struct Case {
        const char* what;
        ClockParts from;
        S part;
        int value;
        ClockParts to;
    } cases[] = {
        {"year", jan31, S::Year, 2031, {2031, 1, 31, 10, 20}},
        {"month keeps the day inside it", jan31, S::Month, 2, {2026, 2, 28, 10, 20}},
        {"leap February", {2024, 1, 31, 0, 0}, S::Month, 2, {2024, 2, 29, 0, 0}},
        {"year off a leap day", {2024, 2, 29, 0, 0}, S::Year, 2025, {2025, 2, 28, 0, 0}},
        {"day", jan31, S::Day, 5, {2026, 1, 5, 10, 20}},
        {"hour", jan31, S::Hour, 23, {2026, 1, 31, 23, 20}},
        {"minute", jan31, S::Minute, 0, {2026, 1, 31, 10, 0}},
        {"day beyond the month", {2026, 4, 10, 1, 1}, S::Day, 31, {2026, 4, 10, 1, 1}},
        {"month 13", jan31, S::Month, 13, jan31},
        {"month 0", jan31, S::Month, 0, jan31},
        {"hour 24", jan31, S::Hour, 24, jan31},
        {"minute 60", jan31, S::Minute, 60, jan31},
        {"year 65535", jan31, S::Year, 65535, jan31},
        {"not a clock part", jan31, S::Number, 3, jan31},
    };
    for (const Case& c : cases) {
        const ClockParts r = ApplyClockAnswer(c.from, c.part, c.value);
        EXPECT_EQ(r.year, c.to.year) << c.what;
        EXPECT_EQ(r.month, c.to.month) << c.what;
        EXPECT_EQ(r.day, c.to.day) << c.what;
        EXPECT_EQ(r.hour, c.to.hour) << c.what;
        EXPECT_EQ(r.minute, c.to.minute) << c.what;
    }
}

}  // namespace
}  // namespace lk
