#pragma once
// SHA-256 of a stream of bytes, fed as they pass by (libcrypto picks the CPU's
// SHA instructions where there are some).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ByteIo.h"

namespace lk {

class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    ~Sha256();

    void Update(ByteSpan bytes);
    // The digest of everything fed since construction or the last Finish;
    // starts over afterwards.
    Digest Finish();

  private:
    struct Context;
    std::unique_ptr<Context> context_;
};

// Lower-case hex of any bytes, as the checksum tools print digests.
std::string LowerHexOf(ByteSpan bytes);

// Lower-case hex, as sha256sum prints it.
inline std::string DigestHex(const Sha256::Digest& digest) {
    return LowerHexOf(ByteSpan(digest.data(), digest.size()));
}
// Reads 64 hex digits (either case); nullopt for anything else.
std::optional<Sha256::Digest> ParseDigestHex(std::string_view text);

}  // namespace lk
