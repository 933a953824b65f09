#include "TerminalProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace lk::cli {
namespace {

constexpr int kBarWidth = 24;
constexpr int kDefaultColumns = 80;
// A new message alone redraws at most this often: a million records must
// not become a million terminal writes.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

int Columns(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

void WriteAll(int fd, const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a terminal that went away is no reason to stop
        at += static_cast<std::size_t>(n);
    }
}

// Cuts UTF-8 text to at most `columns` characters without splitting one.
std::string CutToColumns(const std::string& text, int columns) {
    int count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;
        if (count == columns) return text.substr(0, i);
        ++count;
    }
    return text;
}

}  // namespace

std::string ProgressLine(const std::string& label, int done, int total, const std::string& message,
                         int width) {
    std::string line = label + " ";
    if (total > 0) {
        const int shown = std::clamp(done, 0, total);
        const int filled = static_cast<int>(static_cast<long long>(shown) * kBarWidth / total);
        const int percent = static_cast<int>(static_cast<long long>(shown) * 100 / total);
        line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
        const std::string p = std::to_string(percent);
        line += std::string(3 - std::min<std::size_t>(3, p.size()), ' ') + p + "% ";
        line += std::to_string(shown) + "/" + std::to_string(total);
    } else {
        line += std::to_string(std::max(done, 0));
    }
    if (!message.empty()) line += " " + message;
    // One column short of the width: a full line would wrap on some terminals.
    return CutToColumns(line, std::max(1, width - 1));
}

TerminalProgress::TerminalProgress(std::string label, int fd)
    : label_(std::move(label)), fd_(fd), drawing_(::isatty(fd) == 1) {}

TerminalProgress::~TerminalProgress() {
    End();
}

void TerminalProgress::Begin(int total) {
    if (!drawing_) return;
    done_ = 0;
    total_ = total;
    message_.clear();
    lastPercent_ = -1;
    Draw(true);
}

void TerminalProgress::Step(int done, int total, const std::string& message) {
    if (!drawing_) return;
    done_ = done;
    total_ = total;
    message_ = message;
    Draw(done >= total);
}

void TerminalProgress::End() {
    if (!drawing_ || !open_) return;
    Draw(true);
    WriteAll(fd_, "\n");
    open_ = false;
}

void TerminalProgress::Draw(bool force) {
    const int percent =
        total_ > 0 ? static_cast<int>(static_cast<long long>(done_) * 100 / total_) : done_;
    const auto now = std::chrono::steady_clock::now();
    if (!force && percent == lastPercent_ && now - lastDraw_ < kRedrawEvery) return;
    lastPercent_ = percent;
    lastDraw_ = now;
    // Carriage return, the line, then erase what a longer line left behind.
    WriteAll(fd_, "\r" + ProgressLine(label_, done_, total_, message_, Columns(fd_)) + "\x1b[K");
    open_ = true;
}

}  // namespace lk::cli
