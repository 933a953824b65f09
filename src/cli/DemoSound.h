#pragma once
// Synthetic telephone audio for demonstration cards: voices, line tones and
// a short tune, 16-bit PCM at 8000 Hz.

#include <cstdint>
#include <vector>

namespace lk::cli {

using Pcm = std::vector<std::int16_t>;

// A speech-like voice: a pulse train through two moving formants, in
// syllables and pauses. `pitch` is the mean fundamental in Hz; `seed` varies
// the phrase.
Pcm SynthVoice(double seconds, double pitch, unsigned seed);
// Dial tone (350 + 440 Hz).
Pcm SynthDialTone(double seconds);
// Ringback: 440 + 480 Hz, two seconds on, then silence.
Pcm SynthRingback(double seconds);
// A short tune of sine notes with soft edges.
Pcm SynthMelody(unsigned seed);
// Quiet line noise.
Pcm SynthSilence(double seconds, unsigned seed);

void Append(Pcm& to, const Pcm& more);

}  // namespace lk::cli
