#include "CardDir.h"

#include "card/CallLog.h"
#include "card/CardWatch.h"
#include "platform/VolumeTable.h"

namespace lk::cli {
namespace fs = std::filesystem;

namespace {

// Only the named folder, so that no other mounted medium is taken for the card.
class OneCardProbe final : public VolumeProbe {
  public:
    explicit OneCardProbe(fs::path root) : root_(std::move(root)) {}
    std::vector<MountedVolume> Mounted() override {
        std::error_code ec;
        const auto space = fs::space(root_, ec);
        MountedVolume v;
        v.root = root_;
        v.removable = true;
        v.totalBytes = ec ? 0 : space.capacity;
        v.freeBytes = ec ? 0 : space.available;
        return {v};
    }

  private:
    fs::path root_;
};

}  // namespace

CardDir OpenCardDir(const fs::path& dir, std::string& error) {
    CardDir card;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "card folder not found: " + dir.string();
        return card;
    }
    card.root = fs::canonical(dir, ec);
    if (ec) {
        error = "card folder cannot be read: " + dir.string();
        return card;
    }
    const fs::path log = card.root / kCallLogFileName;
    if (!fs::is_regular_file(log, ec)) {
        error = "no " + std::string(kCallLogFileName) + " in " + dir.string();
        return card;
    }
    card.state = std::make_unique<RecorderState>(std::make_unique<OneCardProbe>(card.root));
    card.letter = card.state->volumes.LetterOf(card.root);
    if (card.letter == 0) {
        error = "card folder cannot be read: " + dir.string();
        card.state.reset();
        return card;
    }
    card.devType = HasPhoneBook(card.root) ? 1 : 0;
    card.state->cardDrive = card.letter;
    card.state->cardLogPath = log;
    card.state->devType = card.devType;
    card.state->loadFromCard = 1;
    return card;
}

}  // namespace lk::cli
