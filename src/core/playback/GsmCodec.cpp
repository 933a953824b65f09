#include "playback/GsmCodec.h"

#include <gsm.h>

#include <algorithm>
#include <array>

namespace lk {

GsmDecoder::GsmDecoder(bool wav49) : state_(gsm_create()) {
    if (state_ && wav49) {
        int one = 1;
        if (gsm_option(state_, GSM_OPT_WAV49, &one) < 0) {
            gsm_destroy(state_);
            state_ = nullptr;
        }
    }
}

GsmDecoder::~GsmDecoder() {
    if (state_) gsm_destroy(state_);
}

bool GsmDecoder::DecodeFrame(ByteSpan frame, std::span<std::int16_t, kGsmFrameSamples> out) {
    std::array<gsm_byte, kGsmFrameSize> full{};
    std::copy_n(frame.begin(), std::min(frame.size(), kGsmFrameSize), full.begin());
    std::array<gsm_signal, kGsmFrameSamples> pcm{};
    if (!state_ || gsm_decode(state_, full.data(), pcm.data()) != 0) {
        std::fill(out.begin(), out.end(), std::int16_t{0});
        return false;
    }
    std::copy(pcm.begin(), pcm.end(), out.begin());
    return true;
}

void GsmDecoder::DecodeFrames(ByteSpan bytes, std::vector<std::int16_t>& out) {
    const auto frames = (bytes.size() + kGsmFrameSize - 1) / kGsmFrameSize;
    const auto base = out.size();
    out.resize(base + frames * kGsmFrameSamples);
    for (std::size_t f = 0; f < frames; ++f) {
        const auto off = f * kGsmFrameSize;
        DecodeFrame(bytes.subspan(off, std::min(kGsmFrameSize, bytes.size() - off)),
                    std::span<std::int16_t, kGsmFrameSamples>(
                        out.data() + base + f * kGsmFrameSamples, kGsmFrameSamples));
    }
}

void GsmDecoder::DecodeWav49Blocks(ByteSpan bytes, std::vector<std::int16_t>& out) {
    const auto blocks = bytes.size() / kGsmWav49BlockSize;
    const auto base = out.size();
    out.resize(base + blocks * kGsmWav49BlockSamples);
    std::array<gsm_byte, kGsmWav49BlockSize> block{};
    std::array<gsm_signal, kGsmFrameSamples> pcm{};
    for (std::size_t b = 0; b < blocks; ++b) {
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(b * kGsmWav49BlockSize),
                    kGsmWav49BlockSize, block.begin());
        // The first frame takes 33 bytes (half of the last one carried over),
        // the second the remaining 32.
        for (std::size_t half = 0; half < 2; ++half) {
            pcm.fill(0);
            if (state_) gsm_decode(state_, block.data() + half * kGsmFrameSize, pcm.data());
            std::copy(pcm.begin(), pcm.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(base + b * kGsmWav49BlockSamples +
                                                                half * kGsmFrameSamples));
        }
    }
}

GsmEncoder::GsmEncoder(bool wav49) : state_(gsm_create()), wav49_(wav49) {
    if (state_ && wav49) {
        int one = 1;
        if (gsm_option(state_, GSM_OPT_WAV49, &one) < 0) {
            gsm_destroy(state_);
            state_ = nullptr;
        }
    }
}

GsmEncoder::~GsmEncoder() {
    if (state_) gsm_destroy(state_);
}

void GsmEncoder::Encode(std::span<const std::int16_t> samples, std::vector<std::uint8_t>& out) {
    if (!state_) return;
    auto frames = (samples.size() + kGsmFrameSamples - 1) / kGsmFrameSamples;
    if (wav49_ && frames % 2 != 0) ++frames;
    std::array<gsm_signal, kGsmFrameSamples> pcm{};
    std::array<gsm_byte, kGsmFrameSize> frame{};
    out.reserve(out.size() + frames * kGsmFrameSize);
    for (std::size_t f = 0; f < frames; ++f) {
        const auto off = f * kGsmFrameSamples;
        pcm.fill(0);
        if (off < samples.size())
            std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(off),
                        std::min(kGsmFrameSamples, samples.size() - off), pcm.begin());
        gsm_encode(state_, pcm.data(), frame.data());
        // In wav49 mode the first frame of a pair packs into 32 bytes, the second into 33.
        const auto n = (wav49_ && f % 2 == 0) ? kGsmFrameSize - 1 : kGsmFrameSize;
        out.insert(out.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    }
}

}  // namespace lk
