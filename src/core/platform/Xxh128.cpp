#include "platform/Xxh128.h"

#include <xxhash.h>

namespace lk {

struct Xxh128::State {
    XXH3_state_t* state = XXH3_createState();
    ~State() { XXH3_freeState(state); }
};

Xxh128::Xxh128() : state_(std::make_unique<State>()) {
    XXH3_128bits_reset(state_->state);
}
Xxh128::Xxh128(Xxh128&&) noexcept = default;
Xxh128& Xxh128::operator=(Xxh128&&) noexcept = default;
Xxh128::~Xxh128() = default;

void Xxh128::Update(ByteSpan bytes) {
    if (!bytes.empty()) XXH3_128bits_update(state_->state, bytes.data(), bytes.size());
}

Xxh128::Digest Xxh128::Finish() {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_->state));
    XXH3_128bits_reset(state_->state);
    Digest out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = canonical.digest[i];
    return out;
}

}  // namespace lk
