#include "sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace lxtool {

std::optional<std::string> sha256_of_file(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!f || !digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::vector<unsigned char> buffer(1 << 16);
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0)
        if (EVP_DigestUpdate(digest.get(), buffer.data(), n) != 1) return std::nullopt;
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (std::ferror(f.get()) || EVP_DigestFinal_ex(digest.get(), sum, &size) != 1)
        return std::nullopt;
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", sum[i]);
        hex += two;
    }
    return hex;
}

} // namespace lxtool
