#include "platform/Sha256.h"

#include <openssl/evp.h>

namespace lk {

// The algorithm is looked up once per hash, not at every start: each start
// through EVP_sha256() looks it up again, which cost a backup of small
// recordings as much as hashing their bytes.
struct Sha256::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_MD* md = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
    ~Context() {
        EVP_MD_CTX_free(ctx);
        EVP_MD_free(md);
    }
    void Start() { EVP_DigestInit_ex2(ctx, md != nullptr ? md : EVP_sha256(), nullptr); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    context_->Start();
}
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;
Sha256::~Sha256() = default;

void Sha256::Update(ByteSpan bytes) {
    if (!bytes.empty()) EVP_DigestUpdate(context_->ctx, bytes.data(), bytes.size());
}

Sha256::Digest Sha256::Finish() {
    Digest out{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_->ctx, out.data(), &length);
    context_->Start();
    return out;
}

std::string LowerHexOf(ByteSpan bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

std::optional<Sha256::Digest> ParseDigestHex(std::string_view text) {
    if (text.size() != 64) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Sha256::Digest out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int hi = nibble(text[2 * i]);
        const int lo = nibble(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return out;
}

}  // namespace lk
