// Throughput of the cipher's container functions on 1 MiB, without a
// runtime (so yielding costs only the check for one).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "cipher/clsBlowfish.h"

namespace {

constexpr std::size_t kSize = 1024 * 1024;
constexpr int kRepetitions = 15;

struct Figures {
    double best;
    double median;
};

Figures Summarise(std::vector<double> mbPerSecond) {
    std::sort(mbPerSecond.begin(), mbPerSecond.end());
    return {mbPerSecond.back(), mbPerSecond[mbPerSecond.size() / 2]};
}

double MegabytesPerSecond(std::size_t bytes, std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return double(bytes) / (1024.0 * 1024.0) / seconds;
}

}  // namespace

int main() {
    std::vector<std::uint8_t> original(kSize);
    for (std::size_t i = 0; i < kSize; ++i) original[i] = std::uint8_t(i * 131 + 7);

    nocturo::clsBlowfish cipher;
    cipher.Key("benchmark key");

    std::vector<double> encrypt, decrypt;
    bool intact = true;
    for (int rep = 0; rep < kRepetitions; ++rep) {
        std::vector<std::uint8_t> data = original;

        auto start = std::chrono::steady_clock::now();
        cipher.EncryptByte(data);
        encrypt.push_back(MegabytesPerSecond(kSize, std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        cipher.DecryptByte(data);
        decrypt.push_back(MegabytesPerSecond(kSize, std::chrono::steady_clock::now() - start));

        intact = intact && data == original;
    }

    const Figures e = Summarise(encrypt);
    const Figures d = Summarise(decrypt);
    std::printf("clsBlowfish, 1 MiB, %d repetitions\n", kRepetitions);
    std::printf("  EncryptByte: best %7.1f MB/s, median %7.1f MB/s\n", e.best, e.median);
    std::printf("  DecryptByte: best %7.1f MB/s, median %7.1f MB/s\n", d.best, d.median);
    if (!intact) {
        std::printf("  round trip FAILED: decrypted data differs from the original\n");
        return 1;
    }
    return 0;
}
