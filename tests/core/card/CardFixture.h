#pragma once
// Cards and volume lists made up in code for the card, loader and backup tests.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "card/CallLog.h"
#include "card/LoadGate.h"
#include "card/RecordFileCode.h"
#include "card/RecorderState.h"
#include "platform/TextCodec.h"
#include "platform/VolumeTable.h"
#include "support/TempDir.h"

namespace lk::test {

// The record session's answer to the card watch, set by the test.
class FakeGate final : public LoadGate {
  public:
    bool running = false;
    bool LoadRunning() const override { return running; }
};

// A volume list the test changes while the state holds the probe.
class FakeVolumes {
  public:
    class Probe final : public VolumeProbe {
      public:
        explicit Probe(std::shared_ptr<std::vector<MountedVolume>> list) : list_(std::move(list)) {}
        std::vector<MountedVolume> Mounted() override { return *list_; }

      private:
        std::shared_ptr<std::vector<MountedVolume>> list_;
    };

    std::unique_ptr<VolumeProbe> MakeProbe() const { return std::make_unique<Probe>(list_); }

    void Add(const std::filesystem::path& root, bool removable = true,
             std::uint64_t totalBytes = std::uint64_t{1} << 30, bool sizeKnown = true) {
        list_->push_back({root, removable, totalBytes, totalBytes / 2, sizeKnown});
    }
    void Remove(const std::filesystem::path& root) {
        std::erase_if(*list_, [&](const MountedVolume& v) { return v.root == root; });
    }

  private:
    std::shared_ptr<std::vector<MountedVolume>> list_ =
        std::make_shared<std::vector<MountedVolume>>();
};

// One recording of a made-up card.
struct RecordingSpec {
    RecordingSpec() = default;
    RecordingSpec(int t, std::string s, std::string n, bool l = true)
        : type(t), stamp(std::move(s)), number(std::move(n)), live(l) {}

    int type = Incoming;
    std::string stamp = "20160102102033";  // YYYYMMDDhhmmss
    std::string number = "123";
    bool live = true;
    int mark = 0;
    bool withFile = true;  // false: the log names a file that is not there
    std::size_t fileBytes = 5000;
    std::u16string relativePath;  // overrides the path the log names
};

inline std::string RecordingFileName(const RecordingSpec& s) {
    return s.stamp + "-" + std::string(RecordFileCode(s.type)) + "-" + s.number + ".wav";
}

// Card-relative path with forward slashes ("201601/x.wav" or "RECORD/201601/x.wav").
inline std::string RecordingRelative(const RecordingSpec& s, int devType) {
    const std::string folder = s.stamp.substr(0, 6) + "/" + RecordingFileName(s);
    return devType == 1 ? "RECORD/" + folder : folder;
}

// Content that differs from one recording to the next.
inline std::vector<std::uint8_t> RecordingBytes(const RecordingSpec& s) {
    std::vector<std::uint8_t> bytes(s.fileBytes);
    std::uint32_t x = 2166136261u;
    for (char c : RecordingFileName(s))
        x = (x ^ static_cast<std::uint8_t>(c)) * 16777619u;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

inline std::vector<std::uint8_t> CardLogRecord(const RecordingSpec& s, int devType) {
    CardRecordFields f;
    f.type = s.type;
    f.mark = s.mark;
    f.year = std::stoi(s.stamp.substr(0, 4));
    f.month = std::stoi(s.stamp.substr(4, 2));
    f.day = std::stoi(s.stamp.substr(6, 2));
    f.hour = std::stoi(s.stamp.substr(8, 2));
    f.minute = std::stoi(s.stamp.substr(10, 2));
    f.number = FromUtf8(s.number);
    f.recordSeconds = 1;
    if (!s.relativePath.empty()) {
        f.relativePath = s.relativePath;
    } else {
        std::u16string rel = FromUtf8(RecordingRelative(s, devType));
        for (auto& c : rel)
            if (c == u'/') c = u'\\';
        f.relativePath = rel;
    }
    auto raw = BuildCardRecord(f, devType);
    if (!s.live) raw[0] = 0;
    return raw;
}

// Writes CallLog.dat (and PhoneBook.dat for family 1) and the recording files.
inline void MakeCard(const std::filesystem::path& root, int devType,
                     const std::vector<RecordingSpec>& cardFiles) {
    std::filesystem::create_directories(root);
    std::vector<std::uint8_t> log;
    for (const auto& s : cardFiles) {
        const auto raw = CardLogRecord(s, devType);
        log.insert(log.end(), raw.begin(), raw.end());
        if (s.withFile && s.relativePath.empty())
            WriteFile(root / RecordingRelative(s, devType), RecordingBytes(s));
    }
    WriteFile(root / kCallLogFileName, log);
    if (devType == 1) WriteFile(root / kPhoneBookFileName, std::vector<std::uint8_t>(155, 0));
}

// A card folder mounted on a fake removable volume, and the state the card
// watch leaves behind when it found it (the loader's starting point).
struct CardOnVolume {
    TempHome home{false};
    TempDir dir;
    FakeVolumes volumes;
    std::filesystem::path root = dir / "card";
    std::unique_ptr<RecorderState> state;
    char letter = 0;

    explicit CardOnVolume(int devType, const std::vector<RecordingSpec>& cardFiles) {
        MakeCard(root, devType, cardFiles);
        volumes.Add(root);
        state = std::make_unique<RecorderState>(volumes.MakeProbe());
        letter = state->volumes.LetterOf(root);
        state->cardDrive = letter;
        state->cardLogPath = root / kCallLogFileName;
        state->devType = devType;
        state->loadFromCard = 1;
    }
};

}  // namespace lk::test
