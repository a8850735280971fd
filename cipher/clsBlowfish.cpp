#include "cipher/clsBlowfish.h"

#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <random>

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "cipher/BlowfishTables.h"
#include "cipher/HexText.h"
#include "platform/Error.h"

namespace nocturo {

namespace {

constexpr const char* kEncryptByte = "EncryptByte of Klassenmodul clsBlowfish";
constexpr const char* kDecryptByte = "DecryptByte of Klassenmodul clsBlowfish";
constexpr const char* kKey = "Key of Klassenmodul clsBlowfish";
constexpr const char* kEncryptString = "EncryptString of Klassenmodul clsBlowfish";
constexpr const char* kDecryptString = "DecryptString of Klassenmodul clsBlowfish";
constexpr const char* kEnHex = "EnHex of Klassenmodul clsBlowfish";
constexpr const char* kDeHex = "DeHex of Klassenmodul clsBlowfish";
constexpr const char* kEncryptFile = "EncryptFile of Klassenmodul clsBlowfish";
constexpr const char* kDecryptFile = "DecryptFile of Klassenmodul clsBlowfish";
constexpr const char* kAppend = "Append of Klassenmodul clsBlowfish";
constexpr const char* kGData = "GData of Klassenmodul clsBlowfish";

constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kBlockSize = 8;

std::uint32_t GetLittleEndian(const std::uint8_t* at) noexcept {
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
           std::uint32_t(at[3]) << 24;
}

void PutLittleEndian(std::uint8_t* at, std::uint32_t value) noexcept {
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
    at[2] = std::uint8_t(value >> 16);
    at[3] = std::uint8_t(value >> 24);
}

// splitmix64: spreads a counter or a clock reading over all 64 bits.
std::uint64_t Mix(std::uint64_t x) noexcept {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// The two random words of a container's first block. They come from the
// system's entropy source; should that be unavailable, from the clock mixed
// with a counter. A pair is never handed out twice in a row.
std::uint64_t FreshFirstBlock() {
    static std::mutex guard;
    static std::uint64_t previous = 0;
    static std::uint64_t fallbackCounter = 0;
    std::lock_guard<std::mutex> lock(guard);
    std::uint64_t value = previous;
    while (value == previous) {
        try {
            static std::random_device device;
            value = std::uint64_t(std::uint32_t(device())) << 32 | std::uint32_t(device());
        } catch (...) {
            auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
            value = Mix(std::uint64_t(ticks) ^ Mix(++fallbackCounter));
        }
    }
    previous = value;
    return value;
}

}  // namespace

// Tracks which percentage was raised last and at which offset the next whole
// percent begins, so the per-block test is one comparison.
class clsBlowfish::ProgressMeter {
public:
    explicit ProgressMeter(std::size_t total) : total_(total) {}
    bool due(std::size_t offset) const noexcept { return offset >= next_; }
    void raise(std::size_t offset, const std::function<void(int)>& handler) {
        last_ = int(std::uint64_t(offset) * 100 / total_);
        // First offset at which the percentage is last_ + 1 or more.
        next_ = std::size_t((std::uint64_t(last_ + 1) * total_ + 99) / 100);
        if (handler) handler(last_);
    }
    void finish(const std::function<void(int)>& handler) {
        if (last_ == 100) return;
        last_ = 100;
        if (handler) handler(100);
    }

private:
    std::size_t total_;
    std::size_t next_ = 0;
    int last_ = -1;
};

clsBlowfish::clsBlowfish() {
    std::memcpy(p_.data(), blowfish::kPiP, sizeof blowfish::kPiP);
    for (std::size_t box = 0; box < s_.size(); ++box)
        std::memcpy(s_[box].data(), blowfish::kPiS[box], sizeof blowfish::kPiS[box]);
}

// ---- block cipher -----------------------------------------------------------

inline std::uint32_t clsBlowfish::F(std::uint32_t x) const noexcept {
    const std::uint32_t a = s_[0][x >> 24];
    const std::uint32_t b = s_[1][(x >> 16) & 0xFF];
    const std::uint32_t c = s_[2][(x >> 8) & 0xFF];
    const std::uint32_t d = s_[3][x & 0xFF];
    return UnsignedAdd(UnsignedAdd(a, b) ^ c, d);
}

void clsBlowfish::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept {
    std::uint32_t xl = left, xr = right;
    for (int i = 0; i < 16; i += 2) {
        xl ^= p_[i];
        xr ^= F(xl);
        xr ^= p_[i + 1];
        xl ^= F(xr);
    }
    left = xr ^ p_[17];
    right = xl ^ p_[16];
}

void clsBlowfish::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept {
    std::uint32_t xl = left, xr = right;
    for (int i = 17; i > 1; i -= 2) {
        xl ^= p_[i];
        xr ^= F(xl);
        xr ^= p_[i - 1];
        xl ^= F(xr);
    }
    left = xr ^ p_[0];
    right = xl ^ p_[1];
}

std::uint32_t clsBlowfish::GetWord(const std::uint8_t* at) noexcept {
    return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | std::uint32_t(at[3]);
}

void clsBlowfish::PutWord(std::uint8_t* at, std::uint32_t value) noexcept {
    at[0] = std::uint8_t(value >> 24);
    at[1] = std::uint8_t(value >> 16);
    at[2] = std::uint8_t(value >> 8);
    at[3] = std::uint8_t(value);
}

void clsBlowfish::Key(const std::string& key) {
    if (key == key_) return;
    try {
        key_ = key;
        if (key.empty()) return;  // nothing to mix in

        // XOR the key, cycled, into the P-array, most significant byte first.
        const std::size_t n = key.size();
        std::size_t next = 0;
        for (auto& entry : p_) {
            std::uint32_t word = 0;
            for (int k = 0; k < 4; ++k) {
                word = word << 8 | std::uint8_t(key[next]);
                next = next + 1 == n ? 0 : next + 1;
            }
            entry ^= word;
        }

        // Replace P and then the S-boxes, two words at a time, by the chain
        // of encipherments that starts from a zero block.
        std::uint32_t left = 0, right = 0;
        for (std::size_t i = 0; i < p_.size(); i += 2) {
            EncryptBlock(left, right);
            p_[i] = left;
            p_[i + 1] = right;
        }
        for (auto& box : s_) {
            for (std::size_t i = 0; i < box.size(); i += 2) {
                EncryptBlock(left, right);
                box[i] = left;
                box[i + 1] = right;
            }
        }
    } catch (...) {
        ReportCurrentException(kKey, 1);
    }
}

// ---- container ----------------------------------------------------------------

void clsBlowfish::blockDone(ProgressMeter& meter, std::size_t offset, const char* procedure) {
    if (meter.due(offset)) Step(procedure, 3, [&] { meter.raise(offset, Progress); });
}

void clsBlowfish::EncryptByte(std::vector<std::uint8_t>& bytes, const std::string& key) {
    if (!key.empty()) Key(key);
    long line = 2;
    try {
        const std::size_t length = bytes.size();
        if (length > std::numeric_limits<std::uint32_t>::max() - kHeaderSize - kBlockSize)
            throw platform::Error(platform::err::Overflow, "Overflow");
        const std::size_t size = (length + kHeaderSize + kBlockSize - 1) / kBlockSize * kBlockSize;
        // Growing zero-fills the tail; the data moves up behind the header.
        bytes.resize(size);
        std::uint8_t* data = bytes.data();
        std::memmove(data + kHeaderSize, data, length);
        const std::uint64_t first = FreshFirstBlock();
        PutLittleEndian(data, std::uint32_t(first));
        PutLittleEndian(data + 4, std::uint32_t(first >> 32));
        PutLittleEndian(data + 8, std::uint32_t(length));

        line = 3;
        ProgressMeter meter(size);
        std::uint32_t prevLeft = 0, prevRight = 0;
        for (std::size_t offset = 0; offset < size; offset += kBlockSize) {
            blockDone(meter, offset, kEncryptByte);
            std::uint32_t left = GetWord(data + offset) ^ prevLeft;
            std::uint32_t right = GetWord(data + offset + 4) ^ prevRight;
            EncryptBlock(left, right);
            PutWord(data + offset, left);
            PutWord(data + offset + 4, right);
            prevLeft = left;
            prevRight = right;
        }
        Step(kEncryptByte, 3, [&] { meter.finish(Progress); });
    } catch (...) {
        ReportCurrentException(kEncryptByte, line);
    }
}

void clsBlowfish::DecryptByte(std::vector<std::uint8_t>& bytes, const std::string& key) {
    if (!key.empty()) Key(key);
    long line = 2;
    try {
        const std::size_t size = bytes.size();
        ProgressMeter meter(size);
        std::uint32_t prevLeft = 0, prevRight = 0;
        // Whole blocks only; a cut-off tail is left as it is.
        std::uint8_t* data = bytes.data();
        for (std::size_t offset = 0; offset + kBlockSize <= size; offset += kBlockSize) {
            blockDone(meter, offset, kDecryptByte);
            const std::uint32_t cipherLeft = GetWord(data + offset);
            const std::uint32_t cipherRight = GetWord(data + offset + 4);
            std::uint32_t left = cipherLeft, right = cipherRight;
            DecryptBlock(left, right);
            PutWord(data + offset, left ^ prevLeft);
            PutWord(data + offset + 4, right ^ prevRight);
            prevLeft = cipherLeft;
            prevRight = cipherRight;
        }
        Step(kDecryptByte, 2, [&] { meter.finish(Progress); });

        line = 3;
        if (size < kHeaderSize) return;  // no header: leave as deciphered
        const std::uint64_t length = GetLittleEndian(bytes.data() + 8);
        const std::uint64_t minimum = length + kHeaderSize;
        if (size >= minimum && size - minimum < kBlockSize) {
            std::memmove(bytes.data(), bytes.data() + kHeaderSize, std::size_t(length));
            bytes.resize(std::size_t(length));
        }
    } catch (...) {
        ReportCurrentException(kDecryptByte, line);
    }
}

// ---- text conveniences ----------------------------------------------------------

std::string clsBlowfish::EncryptString(const std::string& text, const std::string& key, bool outputInHex) {
    long line = 1;
    try {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        line = 2;
        EncryptByte(bytes, key);
        line = 3;
        std::string result(bytes.begin(), bytes.end());
        return outputInHex ? EnHex(result) : result;
    } catch (...) {
        ReportCurrentException(kEncryptString, line);
        return {};
    }
}

std::string clsBlowfish::DecryptString(const std::string& text, const std::string& key, bool isTextInHex) {
    long line = 1;
    try {
        const std::string cipher = isTextInHex ? DeHex(text) : text;
        std::vector<std::uint8_t> bytes(cipher.begin(), cipher.end());
        line = 2;
        DecryptByte(bytes, key);
        line = 3;
        return std::string(bytes.begin(), bytes.end());
    } catch (...) {
        ReportCurrentException(kDecryptString, line);
        return {};
    }
}

std::string clsBlowfish::EnHex(const std::string& data) {
    try {
        Reset();
        for (const char c : data) {
            const std::uint8_t code = std::uint8_t(c);
            const char pair[2] = {hextext::kDigits[code >> 4], hextext::kDigits[code & 0x0F]};
            Append(std::string_view(pair, 2));
        }
        return GData();
    } catch (...) {
        ReportCurrentException(kEnHex, 1);
        return {};
    }
}

std::string clsBlowfish::DeHex(const std::string& data) {
    try {
        Reset();
        for (std::size_t pos = 0; pos < data.size(); pos += 2) {
            const int value = hextext::PairValue(data, pos);
            if (value < 0)
                throw platform::Error(platform::err::TypeMismatch,
                                      "Type mismatch: no hexadecimal pair at position " + std::to_string(pos + 1));
            const char c = char(value);
            Append(std::string_view(&c, 1));
        }
        return GData();
    } catch (...) {
        ReportCurrentException(kDeHex, 1);
        Reset();
        return {};
    }
}

// ---- files ----------------------------------------------------------------------

bool clsBlowfish::transformFile(const char* procedure, bool encrypt, const std::string& source,
                                const std::string& destination, bool overwriteExisting, const std::string& key,
                                bool hex) {
    long line = 1;
    try {
        platform::IFileSystem& fs = files();
        line = 2;
        std::optional<std::string> text = fs.readFile(source);
        if (!text) throw platform::Error(platform::err::FileNotFound, "File not found: " + source);
        line = 3;
        if (!overwriteExisting && fs.attributes(destination)) return false;
        line = 4;
        const std::string result = encrypt ? EncryptString(*text, key, hex) : DecryptString(*text, key, hex);
        line = 5;
        fs.writeFile(destination, result);
        return true;
    } catch (...) {
        ReportCurrentException(procedure, line);
        return false;
    }
}

bool clsBlowfish::EncryptFile(const std::string& source, const std::string& destination, bool overwriteExisting,
                              const std::string& key, bool outputInHex) {
    return transformFile(kEncryptFile, true, source, destination, overwriteExisting, key, outputInHex);
}

bool clsBlowfish::DecryptFile(const std::string& source, const std::string& destination, bool overwriteExisting,
                              const std::string& key, bool isSourceInHex) {
    return transformFile(kDecryptFile, false, source, destination, overwriteExisting, key, isSourceInHex);
}

// ---- text buffer ----------------------------------------------------------------

void clsBlowfish::Append(std::string_view text) {
    try {
        buffer_.append(text);
    } catch (...) {
        ReportCurrentException(kAppend, 1);
    }
}

std::string clsBlowfish::GData() const {
    try {
        return buffer_;
    } catch (...) {
        ReportCurrentException(kGData, 1);
        return {};
    }
}

void clsBlowfish::Reset() noexcept { buffer_.clear(); }

}  // namespace nocturo
