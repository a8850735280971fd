#pragma once
// The options password as a hexadecimal text that can be stored as a registry
// value, and back. Every call enciphers with a new clsBlowfish; the texts the
// cipher sees are the password's UTF-16LE bytes (two per character, four per
// character beyond the Basic Multilingual Plane).
//
// Failures are written to the error log under "<name> of Modul
// Varn_encryption3" and give empty text.
#include <string>

namespace nocturo {

// Stored form: the cipher container of the text's UTF-16LE bytes, two
// upper-case hex digits per byte. Empty when text is empty or only blanks.
// The key is passed to the cipher as its ToHex text; the program passes "".
std::string Encrypt3(const std::string& text, const std::string& key);
// The text back from a stored form; empty when stored is empty or only
// blanks. A stored form that is no container of ours gives unreadable text.
std::string Decrypt3(const std::string& stored, const std::string& key);

// Hex in, hex out: the container of the bytes written in hexText.
std::string EncryptBF(const std::string& hexText, const std::string& hexKey);
// The plaintext bytes of a stored form, as hex.
std::string DecryptBF(const std::string& stored, const std::string& hexKey);

// UTF-8 text -> its UTF-16LE bytes as hex ("a" -> "6100"). Malformed UTF-8
// is taken as U+FFFD.
std::string ToHex(const std::string& text);
// Hex of UTF-16LE bytes -> UTF-8 text. An odd last byte and unpaired
// surrogates become U+FFFD.
std::string FromHex(const std::string& hex);

}  // namespace nocturo
