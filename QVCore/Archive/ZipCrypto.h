#pragma once
// The two kinds of zip entry encryption the archive service reads and writes, over OpenSSL:
// the traditional PKWARE stream cipher and WinZip AES (AE-1/AE-2: PBKDF2-HMAC-SHA1 key
// derivation, AES in little-endian counter mode, HMAC-SHA1 over the cipher text).
// Internal to QVCore/Archive.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sszip {

// Traditional zip encryption: a 12-byte header whose last byte checks the password, then the
// entry's data, each byte run through the three-key stream cipher.
class TraditionalCipher {
 public:
  static constexpr size_t kHeaderLength = 12;

  explicit TraditionalCipher(const std::string& password);
  // A random header ending in checkByte, encrypted and ready to be written first.
  std::array<uint8_t, kHeaderLength> makeHeader(uint8_t checkByte);
  // Decrypts a stored header; false when its last byte does not match (a wrong password).
  bool acceptHeader(std::array<uint8_t, kHeaderLength> header, uint8_t checkByte);
  void encrypt(uint8_t* data, size_t length);
  void decrypt(uint8_t* data, size_t length);

 private:
  uint8_t streamByte() const;
  void updateKeys(uint8_t plain);
  uint32_t keys_[3];
};

// WinZip AES. Strength 1, 2 or 3 means a 128-, 192- or 256-bit key.
class AesCipher {
 public:
  static constexpr size_t kVerifierLength = 2;
  static constexpr size_t kAuthCodeLength = 10;
  static constexpr uint16_t kExtraFieldId = 0x9901;
  static constexpr uint16_t kCompressionMethod = 99;

  static size_t saltLength(int strength) { return size_t(4 + 4 * strength); }
  static size_t keyLength(int strength) { return size_t(8 + 8 * strength); }

  AesCipher();
  ~AesCipher();
  AesCipher(const AesCipher&) = delete;
  AesCipher& operator=(const AesCipher&) = delete;

  // Writing: makes a random salt, derives the keys; salt and verifier go before the data.
  bool beginEncrypting(const std::string& password, int strength, std::vector<uint8_t>& salt,
                       std::array<uint8_t, kVerifierLength>& verifier);
  // Reading: derives the keys from the stored salt; false when the verifier does not match.
  bool beginDecrypting(const std::string& password, int strength, const std::vector<uint8_t>& salt,
                       std::array<uint8_t, kVerifierLength> verifier);
  void encrypt(uint8_t* data, size_t length);  // counter mode, then authenticate the cipher text
  void decrypt(uint8_t* data, size_t length);  // authenticate the cipher text, then counter mode
  std::array<uint8_t, kAuthCodeLength> authCode();

 private:
  bool derive(const std::string& password, int strength, const std::vector<uint8_t>& salt,
              std::array<uint8_t, kVerifierLength>& verifier);
  void applyKeystream(uint8_t* data, size_t length);
  struct State;
  std::unique_ptr<State> s_;
};

// The 11-byte extra field that marks an AES entry (AE-2, given strength, real method).
std::vector<uint8_t> aesExtraField(int strength, uint16_t method);

// The AES parameters of an entry from its extra field, when it has one.
struct AesFieldInfo {
  int vendorVersion = 0;  // 1 (AE-1, CRC kept) or 2 (AE-2, CRC zero)
  int strength = 0;
  uint16_t method = 0;
};
bool findAesExtraField(const uint8_t* extra, size_t length, AesFieldInfo& out);

// Random bytes from OpenSSL.
bool randomBytes(uint8_t* out, size_t length);

}  // namespace sszip
