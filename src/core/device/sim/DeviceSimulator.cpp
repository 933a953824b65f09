// A simulated recorder behind the device library interface, so the device
// page can be used and tested without the hardware.
//
// It keeps its 32 parameter values in device-sim.dat in the scratch folder, so
// what was written is read back after a restart. Behaviour for tests and
// demonstrations:
//   LK_DEVICE_SIM   words separated by blanks or commas:
//                     disconnected  no recorder at start;
//                     refuse        ReadAll and WriteAll refuse every request;
//                     mute          reads and writes are accepted, nothing answers;
//                     fast          no pauses between the answers.
//   device-sim.control in the scratch folder, watched while running: a first
//   word "disconnected" unplugs the recorder, "connected" plugs it in again.

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "app/ExeDir.h"
#include "device/DeviceLibrary.h"
#include "device/DeviceParameters.h"
#include "platform/AtomicFile.h"

#define LK_EXPORT extern "C" __attribute__((visibility("default")))

namespace lk {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kConnectDelay = milliseconds(300);
constexpr auto kAnswerGap = milliseconds(15);
constexpr auto kWriteDelay = milliseconds(250);
constexpr auto kControlPoll = milliseconds(100);

struct Options {
    bool startDisconnected = false;
    bool refuse = false;
    bool mute = false;
    bool fast = false;
};

Options ReadOptions() {
    Options o;
    const char* env = std::getenv("LK_DEVICE_SIM");
    if (!env) return o;
    std::string words(env);
    for (char& c : words)
        if (c == ',') c = ' ';
    std::istringstream in(words);
    for (std::string w; in >> w;) {
        if (w == "disconnected") o.startDisconnected = true;
        if (w == "refuse") o.refuse = true;
        if (w == "mute") o.mute = true;
        if (w == "fast") o.fast = true;
    }
    return o;
}

tagDeviceParameters DefaultParameters() {
    using namespace DeviceParam;
    tagDeviceParameters p{};
    std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    const std::pair<std::size_t, int> values[] = {
        {kClockFromCalls, 1},
        {kLanguage, 0},
        {kTriggerLevel, 5},
        {kTriggerEndSeconds, 10},
        {kLineRecordingMode, 0},
        {kMicRecordingMode, 0},
        {kLongestRecording, 0},
        {kShortestRecording, 0},
        {kLoopRecording, 0},
        {kStorageReminderHours, 24},
        {kSpaceKeptFreePercent, 10},
        {kNoticeTone, 0},
        {kDateFormat, 0},
        {kTimeFormat, 1},
        {kYear, t.tm_year + 1900},
        {kMonth, t.tm_mon + 1},
        {kDay, t.tm_mday},
        {kHour, t.tm_hour},
        {kMinute, t.tm_min},
        {kBrightness, 4},
        {kDialOutWaitSeconds, 3},
        {kOffHookVolts, 200},
        {kAnsweringMachine, 0},
        {kMonitoring, 1},
        {kLongestMessage, 1},
        {kRingsBeforeAnswer, 3},
        {kRemoteRings, 10},
        {kRemoteCode1, 1},
        {kRemoteCode2, 2},
        {kRemoteCode3, 3},
        {kManualRecordingMode, 0},
    };
    for (auto [offset, v] : values)
        SetDeviceParameter(p, offset, v);
    return p;
}

fs::path StateFile() {
    return ScratchDir() / "device-sim.dat";
}
fs::path ControlFile() {
    return ScratchDir() / "device-sim.control";
}

tagDeviceParameters LoadState() {
    tagDeviceParameters p{};
    std::ifstream in(StateFile(), std::ios::binary);
    if (in && in.read(reinterpret_cast<char*>(p.bytes), sizeof p.bytes) &&
        in.peek() == std::char_traits<char>::eof())
        return p;
    return DefaultParameters();
}

void SaveState(const tagDeviceParameters& p) {
    // Written aside and renamed, so a crash never leaves half a block behind.
    (void)WriteFileAtomically(StateFile(), {ByteSpan(p.bytes, sizeof p.bytes)});
}

// "connected", "disconnected", or nothing when the file is absent or says
// something else.
std::optional<bool> ControlState() {
    std::ifstream in(ControlFile());
    std::string word;
    if (!(in >> word)) return std::nullopt;
    if (word == "connected") return true;
    if (word == "disconnected") return false;
    return std::nullopt;
}

struct Notification {
    std::uint32_t w = 0;
    std::uint32_t l = 0;
    std::optional<tagDeviceParameters> save;  // a write completes: keep it first
};

class Simulator {
  public:
    Simulator(VX310DeviceNotifyFn callback, void* context)
        : callback_(callback), context_(context), options_(ReadOptions()), state_(LoadState()) {
        connected_ = !options_.startDisconnected;
        if (auto c = ControlState()) connected_ = *c;
        controlSeen_ = ControlState();
        Queue(Clock::now() + kConnectDelay, {0, connected_ ? 1u : 0u, std::nullopt});
        worker_ = std::thread([this] { Run(); });
    }

    ~Simulator() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }

    std::int32_t ReadAll() {
        std::lock_guard lock(mutex_);
        if (!connected_ || options_.refuse) return 0;
        if (options_.mute) return 1;
        auto at = Clock::now() + kAnswerGap;
        const auto gap = options_.fast ? milliseconds(0) : kAnswerGap;
        auto send = [&](int number, std::int32_t value) {
            QueueLocked(at, {1, EncodeValueAnswer(number, static_cast<std::uint32_t>(value)),
                             std::nullopt});
            at += gap;
        };
        // The recorder also answers the numbers it keeps for itself.
        for (int ignored : {2, 19, 23})
            send(ignored, 0);
        for (const DeviceParamSlot& s : DeviceParamSlots())
            if (s.number != kLastReadAnswer) send(s.number, GetDeviceParameter(state_, s.offset));
        send(kLastReadAnswer, GetDeviceParameter(state_, DeviceParam::kRemoteCode3));
        wake_.notify_all();
        return 1;
    }

    std::int32_t WriteAll(const tagDeviceParameters* p, unsigned long* requestId) {
        std::lock_guard lock(mutex_);
        if (!p || !connected_ || options_.refuse) {
            if (requestId) *requestId = kNoDeviceRequest;
            return 0;
        }
        // Ids stay within the 16 bits the acknowledgement carries.
        nextId_ = nextId_ % 0xFFFEu + 1u;
        if (requestId) *requestId = nextId_;
        if (options_.mute) {
            state_ = *p;
            SaveState(state_);
        } else {
            QueueLocked(Clock::now() + kWriteDelay, {2, nextId_, *p});
        }
        wake_.notify_all();
        return 1;
    }

  private:
    void Queue(Clock::time_point at, Notification n) {
        std::lock_guard lock(mutex_);
        QueueLocked(at, std::move(n));
    }
    void QueueLocked(Clock::time_point at, Notification n) { queue_.emplace(at, std::move(n)); }

    void Run() {
        auto nextPoll = Clock::now() + kControlPoll;
        std::unique_lock lock(mutex_);
        while (!stop_) {
            const auto now = Clock::now();
            if (now >= nextPoll) {
                nextPoll = now + kControlPoll;
                lock.unlock();
                const auto control = ControlState();
                lock.lock();
                if (control != controlSeen_) {
                    controlSeen_ = control;
                    if (control && *control != connected_) {
                        connected_ = *control;
                        // An unplugged recorder answers nothing more.
                        if (!connected_) queue_.clear();
                        QueueLocked(now, {0, connected_ ? 1u : 0u, std::nullopt});
                    }
                }
                continue;
            }
            if (!queue_.empty() && queue_.begin()->first <= now) {
                Notification n = std::move(queue_.begin()->second);
                queue_.erase(queue_.begin());
                if (n.save) {
                    state_ = *n.save;
                    SaveState(state_);
                }
                // The callback runs unlocked: it may call back into the library.
                lock.unlock();
                callback_(context_, n.w, n.l);
                lock.lock();
                continue;
            }
            auto until = nextPoll;
            if (!queue_.empty() && queue_.begin()->first < until) until = queue_.begin()->first;
            wake_.wait_until(lock, until);
        }
    }

    VX310DeviceNotifyFn callback_;
    void* context_;
    Options options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::multimap<Clock::time_point, Notification> queue_;
    tagDeviceParameters state_;
    bool connected_ = true;
    std::optional<bool> controlSeen_;
    bool stop_ = false;
    std::uint32_t nextId_ = 0;
    std::thread worker_;
};

std::mutex g_instanceMutex;
std::unique_ptr<Simulator> g_instance;

}  // namespace
}  // namespace lk

LK_EXPORT void VX310Device_Free(void);

LK_EXPORT int32_t VX310Device_Init(VX310DeviceNotifyFn callback, void* context) {
    VX310Device_Free();
    if (!callback) return 0;
    auto sim = std::make_unique<lk::Simulator>(callback, context);
    std::lock_guard lock(lk::g_instanceMutex);
    lk::g_instance = std::move(sim);
    return 1;
}

LK_EXPORT int32_t VX310Device_ReadAll(void) {
    std::lock_guard lock(lk::g_instanceMutex);
    return lk::g_instance ? lk::g_instance->ReadAll() : 0;
}

LK_EXPORT int32_t VX310Device_WriteAll(tagDeviceParameters* params, unsigned long* requestId) {
    std::lock_guard lock(lk::g_instanceMutex);
    if (!lk::g_instance) {
        if (requestId) *requestId = lk::kNoDeviceRequest;
        return 0;
    }
    return lk::g_instance->WriteAll(params, requestId);
}

LK_EXPORT void VX310Device_Free(void) {
    std::unique_ptr<lk::Simulator> gone;
    {
        std::lock_guard lock(lk::g_instanceMutex);
        gone = std::move(lk::g_instance);
    }
    // Joined outside the lock: a callback in flight may call ReadAll.
    gone.reset();
}
