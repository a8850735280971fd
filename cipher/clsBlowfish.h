#pragma once
// Blowfish (64-bit blocks, 16 rounds, tables from the digits of pi) and the
// program's own container around it:
//
//   bytes 0..7    two fresh random 32-bit values (little-endian)
//   bytes 8..11   L, the plaintext length (32-bit little-endian)
//   bytes 12..    the L plaintext bytes, then zero bytes up to a multiple of 8
//
// Every 8-byte block is XORed, as two big-endian words, with the previous
// enciphered block (zero words for the first) and then enciphered, so the
// random first block serves as the initialisation vector.
//
// Failures follow the error-log convention: they are written to the error log
// under "<member> of Klassenmodul clsBlowfish" and the member returns empty
// text / false, or leaves the array as far as it got. The block, word and
// arithmetic members work on fixed-size values and have no failure path.
//
// The byte functions let pending events run once per block, so a handler may
// run in between: an instance must not be used by two handlers at once.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nocturo {

class clsBlowfish {
public:
    // Loads the initial pi tables; the key is empty.
    clsBlowfish();

    // Raised with a percentage while EncryptByte and DecryptByte work: each
    // time the processed offset reaches a new whole percent, and with 100 at
    // the end when the last value raised was not 100.
    std::function<void(int percent)> Progress;

    // Sets the key: its bytes as they are (any values, NULs included). The
    // key schedule runs on top of the current tables, so a second, different
    // key mixes into the first; use a new instance for an independent key.
    // Setting the same text again does nothing; the empty text leaves the
    // tables unchanged.
    void Key(const std::string& key);

    // Replaces bytes by its container form. A non-empty key is set first;
    // with an empty key the current tables are used as they are (on a new
    // instance: the pi tables without any key schedule).
    void EncryptByte(std::vector<std::uint8_t>& bytes, const std::string& key = {});
    // Deciphers bytes in place; when the stored length fits the array size,
    // the array becomes the plaintext. Otherwise (not a container of ours,
    // wrong key) the deciphered array keeps its length: the caller sees
    // unreadable data, not an error.
    void DecryptByte(std::vector<std::uint8_t>& bytes, const std::string& key = {});

    // One 64-bit block as two 32-bit words, in place.
    void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept;
    void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept;

    // Text in, text out; the text's bytes are taken as they are. With the hex
    // flag the enciphered side is written (read) as EnHex text.
    std::string EncryptString(const std::string& text, const std::string& key = {}, bool outputInHex = false);
    std::string DecryptString(const std::string& text, const std::string& key = {}, bool isTextInHex = false);

    // Two upper-case hexadecimal digits per character ("\x0A" -> "0A").
    // DeHex accepts either case; text that is not whole pairs of digits is
    // logged and gives empty text.
    std::string EnHex(const std::string& data);
    std::string DeHex(const std::string& data);

    // Read the whole source file, handle it with EncryptString/DecryptString
    // and write the result to destination. False when destination exists and
    // overwriteExisting is not set, or when a step fails (logged).
    bool EncryptFile(const std::string& source, const std::string& destination, bool overwriteExisting,
                     const std::string& key = {}, bool outputInHex = false);
    bool DecryptFile(const std::string& source, const std::string& destination, bool overwriteExisting,
                     const std::string& key = {}, bool isSourceInHex = false);

    // Addition and subtraction modulo 2^32.
    static constexpr std::uint32_t UnsignedAdd(std::uint32_t a, std::uint32_t b) noexcept { return a + b; }
    static constexpr std::uint32_t UnsignedDel(std::uint32_t a, std::uint32_t b) noexcept { return a - b; }

    // The growable text buffer EnHex and DeHex collect their output in.
    void Append(std::string_view text);
    std::string GData() const;
    void Reset() noexcept;

private:
    class ProgressMeter;

    std::uint32_t F(std::uint32_t x) const noexcept;
    static std::uint32_t GetWord(const std::uint8_t* at) noexcept;
    static void PutWord(std::uint8_t* at, std::uint32_t value) noexcept;
    void blockDone(ProgressMeter& meter, std::size_t offset, const char* procedure);
    bool transformFile(const char* procedure, bool encrypt, const std::string& source,
                       const std::string& destination, bool overwriteExisting, const std::string& key, bool hex);

    std::array<std::uint32_t, 18> p_{};
    std::array<std::array<std::uint32_t, 256>, 4> s_{};
    std::string key_;
    std::string buffer_;
};

}  // namespace nocturo
