// The simulated recorder, loaded the way the program loads a device library.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/ExeDir.h"
#include "device/DeviceLibrary.h"
#include "device/DeviceParameters.h"
#include "support/TempDir.h"

namespace lk {
namespace {

using namespace std::chrono_literals;

struct Note {
    std::uint32_t w, l;
    std::thread::id thread;
};

class Inbox {
  public:
    static void Receive(void* context, std::uint32_t w, std::uint32_t l) {
        auto* self = static_cast<Inbox*>(context);
        std::lock_guard lock(self->mutex_);
        self->notes_.push_back({w, l, std::this_thread::get_id()});
        self->changed_.notify_all();
    }
    // Waits until `pred(notes)` holds or 5 s passed.
    template <typename Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return pred(notes_); });
    }
    std::vector<Note> Notes() {
        std::lock_guard lock(mutex_);
        return notes_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        notes_.clear();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Note> notes_;
};

bool Has(const std::vector<Note>& notes, std::uint32_t w, std::uint32_t l) {
    for (const Note& n : notes)
        if (n.w == w && n.l == l) return true;
    return false;
}

bool HasAnswer(const std::vector<Note>& notes, int number) {
    for (const Note& n : notes)
        if (n.w == 1 && (n.l & 0xFFFF) == static_cast<std::uint32_t>(number)) return true;
    return false;
}

class DeviceSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("LK_DEVICE_SIM");
        handle_ = ::dlopen((test::BinDir() / "liblk_device_sim.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        init_ = reinterpret_cast<VX310Device_InitFn>(::dlsym(handle_, "VX310Device_Init"));
        read_ = reinterpret_cast<VX310Device_ReadAllFn>(::dlsym(handle_, "VX310Device_ReadAll"));
        write_ = reinterpret_cast<VX310Device_WriteAllFn>(::dlsym(handle_, "VX310Device_WriteAll"));
        free_ = reinterpret_cast<VX310Device_FreeFn>(::dlsym(handle_, "VX310Device_Free"));
        ASSERT_TRUE(init_ && read_ && write_ && free_);
    }
    void TearDown() override {
        if (free_) free_();
        if (handle_) ::dlclose(handle_);
        ::unsetenv("LK_DEVICE_SIM");
    }

    void Start() { ASSERT_NE(init_(&Inbox::Receive, &inbox_), 0); }
    void StartConnected() {
        Start();
        ASSERT_TRUE(inbox_.WaitFor([](auto& n) { return Has(n, 0, 1); }));
        inbox_.Clear();
    }
    // Reads everything; answers by number, in arrival order.
    std::vector<Note> ReadAll() {
        inbox_.Clear();
        EXPECT_NE(read_(), 0);
        EXPECT_TRUE(inbox_.WaitFor([](auto& n) { return HasAnswer(n, kLastReadAnswer); }));
        return inbox_.Notes();
    }
    std::map<int, int> Values(const std::vector<Note>& notes) {
        std::map<int, int> v;
        for (const Note& n : notes)
            if (n.w == 1) v[static_cast<int>(n.l & 0xFFFF)] = static_cast<int>(n.l >> 16);
        return v;
    }

    test::TempHome home_;
    Inbox inbox_;
    void* handle_ = nullptr;
    VX310Device_InitFn init_ = nullptr;
    VX310Device_ReadAllFn read_ = nullptr;
    VX310Device_WriteAllFn write_ = nullptr;
    VX310Device_FreeFn free_ = nullptr;
};

TEST_F(DeviceSimulator, ReportsTheRecorderFromItsOwnThreadShortlyAfterInit) {
    Start();
    ASSERT_TRUE(inbox_.WaitFor([](auto& n) { return !n.empty(); }));
    const Note first = inbox_.Notes().front();
    EXPECT_EQ(first.w, 0u);
    EXPECT_EQ(first.l, 1u);
    EXPECT_NE(first.thread, std::this_thread::get_id());
}

TEST_F(DeviceSimulator, ReadAnswersEveryParameterNumberWithThirtyOneLast) {
    StartConnected();
    const auto notes = ReadAll();
    std::set<int> expected = {2, 19, 23};
    for (const DeviceParamSlot& s : DeviceParamSlots())
        expected.insert(s.number);
    std::set<int> got;
    for (const Note& n : notes) {
        EXPECT_EQ(n.w, 1u);
        got.insert(static_cast<int>(n.l & 0xFFFF));
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(notes.back().l & 0xFFFF, static_cast<std::uint32_t>(kLastReadAnswer));
    // A fresh recorder answers values its page can show.
    auto v = Values(notes);
    EXPECT_GE(v[20], 1);
    EXPECT_LE(v[20], 6);
    EXPECT_GE(v[129], 150);
    EXPECT_LE(v[129], 300);
    EXPECT_GE(v[128], 2024);
}

TEST_F(DeviceSimulator, WritesAreAcknowledgedAndSurviveARestart) {
    StartConnected();
    tagDeviceParameters p{};
    int k = 0;
    for (const DeviceParamSlot& s : DeviceParamSlots())
        SetDeviceParameter(p, s.offset, ++k);
    SetDeviceParameter(p, DeviceParam::kYear, 2031);
    SetDeviceParameter(p, DeviceParam::kOffHookVolts, 250);

    unsigned long first = 0, second = 0;
    ASSERT_NE(write_(&p, &first), 0);
    ASSERT_TRUE(inbox_.WaitFor([&](auto& n) { return Has(n, 2, first & 0xFFFF); }));
    SetDeviceParameter(p, DeviceParam::kBrightness, 3);
    ASSERT_NE(write_(&p, &second), 0);
    EXPECT_NE(first, second);
    EXPECT_LT(second, 0xFFFFul);
    ASSERT_TRUE(inbox_.WaitFor([&](auto& n) { return Has(n, 2, second & 0xFFFF); }));

    free_();
    EXPECT_EQ(test::ReadFile(ScratchDir() / "device-sim.dat").size(), 128u);
    inbox_.Clear();
    StartConnected();
    const auto v = Values(ReadAll());
    for (const DeviceParamSlot& s : DeviceParamSlots())
        EXPECT_EQ(v.at(s.number), GetDeviceParameter(p, s.offset)) << s.number;
}

TEST_F(DeviceSimulator, ADamagedStateFileGivesTheDefaults) {
    test::WriteFile(ScratchDir() / "device-sim.dat", std::vector<std::uint8_t>(100, 0xFF));
    StartConnected();
    const auto v = Values(ReadAll());
    EXPECT_GE(v.at(20), 1);
    EXPECT_LE(v.at(20), 6);
}

TEST_F(DeviceSimulator, EnvironmentScriptsAnUnwillingRecorder) {
    struct Case {
        const char* env;
        std::uint32_t connection;
        bool readAccepted;
        bool writeAccepted;
        bool answers;
    } cases[] = {
        {"disconnected", 0, false, false, false},
        {"refuse", 1, false, false, false},
        {"mute", 1, true, true, false},
        {"fast,mute", 1, true, true, false},
    };
    for (const Case& c : cases) {
        ::setenv("LK_DEVICE_SIM", c.env, 1);
        inbox_.Clear();
        Start();
        ASSERT_TRUE(inbox_.WaitFor([](auto& n) { return !n.empty(); })) << c.env;
        EXPECT_EQ(inbox_.Notes().front().w, 0u) << c.env;
        EXPECT_EQ(inbox_.Notes().front().l, c.connection) << c.env;
        inbox_.Clear();
        EXPECT_EQ(read_() != 0, c.readAccepted) << c.env;
        tagDeviceParameters p{};
        unsigned long id = 0;
        EXPECT_EQ(write_(&p, &id) != 0, c.writeAccepted) << c.env;
        if (!c.writeAccepted) {
            EXPECT_EQ(id, 0xFFFFFFFFul) << c.env;
        }
        EXPECT_EQ(inbox_.WaitFor([](auto& n) { return !n.empty(); }, 600ms), c.answers) << c.env;
        free_();
    }
}

TEST_F(DeviceSimulator, TheControlFileUnplugsAndPlugsTheRecorder) {
    StartConnected();
    test::WriteText(ScratchDir() / "device-sim.control", "disconnected\n");
    ASSERT_TRUE(inbox_.WaitFor([](auto& n) { return Has(n, 0, 0); }));
    EXPECT_EQ(read_(), 0);
    test::WriteText(ScratchDir() / "device-sim.control", "connected\n");
    ASSERT_TRUE(inbox_.WaitFor([](auto& n) { return Has(n, 0, 1); }));
    EXPECT_NE(read_(), 0);
}

TEST_F(DeviceSimulator, UnpluggingDropsTheAnswersStillToCome) {
    StartConnected();
    ASSERT_NE(read_(), 0);
    test::WriteText(ScratchDir() / "device-sim.control", "disconnected");
    ASSERT_TRUE(inbox_.WaitFor([](auto& n) { return Has(n, 0, 0); }));
    const std::size_t atUnplug = inbox_.Notes().size();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(inbox_.Notes().size(), atUnplug);
    EXPECT_FALSE(HasAnswer(inbox_.Notes(), kLastReadAnswer));
}

TEST_F(DeviceSimulator, NothingArrivesAfterFree) {
    StartConnected();
    ASSERT_NE(read_(), 0);
    free_();
    const std::size_t atFree = inbox_.Notes().size();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(inbox_.Notes().size(), atFree);
    EXPECT_EQ(read_(), 0);
    unsigned long id = 0;
    tagDeviceParameters p{};
    EXPECT_EQ(write_(&p, &id), 0);
    EXPECT_EQ(id, 0xFFFFFFFFul);
}

}  // namespace
}  // namespace lk
