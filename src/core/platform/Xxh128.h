#pragma once
// XXH3's 128-bit hash of a stream of bytes, fed as they pass by: the store's
// checksum of each copy. It keeps up with any disk on one core, where SHA-256
// cost a backup of large recordings a third more time than the copy itself.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ByteIo.h"
#include "platform/Sha256.h"

namespace lk {

class Xxh128 {
  public:
    // The canonical (big-endian) bytes, as xxhsum prints them.
    using Digest = std::array<std::uint8_t, 16>;

    Xxh128();
    Xxh128(Xxh128&&) noexcept;
    Xxh128& operator=(Xxh128&&) noexcept;
    ~Xxh128();

    void Update(ByteSpan bytes);
    // The digest of everything fed since construction or the last Finish;
    // starts over afterwards.
    Digest Finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Lower-case hex, as xxhsum prints it.
inline std::string DigestHex(const Xxh128::Digest& digest) {
    return LowerHexOf(ByteSpan(digest.data(), digest.size()));
}

}  // namespace lk
