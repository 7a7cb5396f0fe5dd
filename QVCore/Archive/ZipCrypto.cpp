#include "QVCore/Archive/ZipCrypto.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <zlib.h>

#include <cstring>

namespace sszip {

// ---- traditional encryption ----

namespace {
inline uint32_t crcStep(uint32_t crc, uint8_t b) {
  static const z_crc_t* table = get_crc_table();
  return uint32_t(table[(crc ^ b) & 0xff]) ^ (crc >> 8);
}
}  // namespace

TraditionalCipher::TraditionalCipher(const std::string& password) : keys_{0x12345678u, 0x23456789u, 0x34567890u} {
  for (unsigned char c : password) updateKeys(c);
}

uint8_t TraditionalCipher::streamByte() const {
  uint32_t temp = (keys_[2] | 2) & 0xffff;
  return uint8_t(((temp * (temp ^ 1)) >> 8) & 0xff);
}

void TraditionalCipher::updateKeys(uint8_t plain) {
  keys_[0] = crcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813u + 1;
  keys_[2] = crcStep(keys_[2], uint8_t(keys_[1] >> 24));
}

void TraditionalCipher::encrypt(uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    uint8_t plain = data[i];
    data[i] = plain ^ streamByte();
    updateKeys(plain);
  }
}

void TraditionalCipher::decrypt(uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    data[i] ^= streamByte();
    updateKeys(data[i]);
  }
}

std::array<uint8_t, TraditionalCipher::kHeaderLength> TraditionalCipher::makeHeader(uint8_t checkByte) {
  std::array<uint8_t, kHeaderLength> header{};
  randomBytes(header.data(), header.size() - 1);
  header[kHeaderLength - 1] = checkByte;
  encrypt(header.data(), header.size());
  return header;
}

bool TraditionalCipher::acceptHeader(std::array<uint8_t, kHeaderLength> header, uint8_t checkByte) {
  decrypt(header.data(), header.size());
  return header[kHeaderLength - 1] == checkByte;
}

// ---- WinZip AES ----

struct AesCipher::State {
  EVP_CIPHER_CTX* cipher = nullptr;
  EVP_MAC* mac = nullptr;
  EVP_MAC_CTX* macCtx = nullptr;
  uint8_t counter[16] = {};
  uint8_t keystream[16] = {};
  size_t keystreamUsed = 16;
  ~State() {
    EVP_CIPHER_CTX_free(cipher);
    EVP_MAC_CTX_free(macCtx);
    EVP_MAC_free(mac);
  }
};

AesCipher::AesCipher() : s_(std::make_unique<State>()) {}
AesCipher::~AesCipher() = default;

bool AesCipher::derive(const std::string& password, int strength, const std::vector<uint8_t>& salt,
                       std::array<uint8_t, kVerifierLength>& verifier) {
  if (strength < 1 || strength > 3 || salt.size() != saltLength(strength)) return false;
  const size_t keyLen = keyLength(strength);
  std::vector<uint8_t> derived(2 * keyLen + kVerifierLength);
  if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), int(password.size()), salt.data(), int(salt.size()), 1000,
                             int(derived.size()), derived.data()) != 1)
    return false;
  const EVP_CIPHER* type = strength == 1 ? EVP_aes_128_ecb() : strength == 2 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
  s_->cipher = EVP_CIPHER_CTX_new();
  if (!s_->cipher || EVP_EncryptInit_ex(s_->cipher, type, nullptr, derived.data(), nullptr) != 1) return false;
  EVP_CIPHER_CTX_set_padding(s_->cipher, 0);
  s_->mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  s_->macCtx = s_->mac ? EVP_MAC_CTX_new(s_->mac) : nullptr;
  if (!s_->macCtx) return false;
  char digest[] = "SHA1";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                         OSSL_PARAM_construct_end()};
  if (EVP_MAC_init(s_->macCtx, derived.data() + keyLen, keyLen, params) != 1) return false;
  std::memcpy(verifier.data(), derived.data() + 2 * keyLen, kVerifierLength);
  OPENSSL_cleanse(derived.data(), derived.size());
  return true;
}

bool AesCipher::beginEncrypting(const std::string& password, int strength, std::vector<uint8_t>& salt,
                                std::array<uint8_t, kVerifierLength>& verifier) {
  if (strength < 1 || strength > 3) return false;
  salt.assign(saltLength(strength), 0);
  return randomBytes(salt.data(), salt.size()) && derive(password, strength, salt, verifier);
}

bool AesCipher::beginDecrypting(const std::string& password, int strength, const std::vector<uint8_t>& salt,
                                std::array<uint8_t, kVerifierLength> verifier) {
  std::array<uint8_t, kVerifierLength> expected{};
  return derive(password, strength, salt, expected) && expected == verifier;
}

void AesCipher::applyKeystream(uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (s_->keystreamUsed == 16) {
      for (uint8_t& b : s_->counter)  // little-endian counter, first block is 1
        if (++b != 0) break;
      int outLen = 0;
      EVP_EncryptUpdate(s_->cipher, s_->keystream, &outLen, s_->counter, 16);
      s_->keystreamUsed = 0;
    }
    data[i] ^= s_->keystream[s_->keystreamUsed++];
  }
}

void AesCipher::encrypt(uint8_t* data, size_t length) {
  applyKeystream(data, length);
  EVP_MAC_update(s_->macCtx, data, length);
}

void AesCipher::decrypt(uint8_t* data, size_t length) {
  EVP_MAC_update(s_->macCtx, data, length);
  applyKeystream(data, length);
}

std::array<uint8_t, AesCipher::kAuthCodeLength> AesCipher::authCode() {
  uint8_t full[EVP_MAX_MD_SIZE];
  size_t len = 0;
  EVP_MAC_final(s_->macCtx, full, &len, sizeof full);
  std::array<uint8_t, kAuthCodeLength> code{};
  std::memcpy(code.data(), full, kAuthCodeLength);
  return code;
}

std::vector<uint8_t> aesExtraField(int strength, uint16_t method) {
  return {uint8_t(AesCipher::kExtraFieldId & 0xff),
          uint8_t(AesCipher::kExtraFieldId >> 8),
          7,
          0,
          2,
          0,
          'A',
          'E',
          uint8_t(strength),
          uint8_t(method & 0xff),
          uint8_t(method >> 8)};
}

bool findAesExtraField(const uint8_t* extra, size_t length, AesFieldInfo& out) {
  size_t pos = 0;
  while (extra && pos + 4 <= length) {
    uint16_t id = uint16_t(extra[pos] | extra[pos + 1] << 8);
    uint16_t size = uint16_t(extra[pos + 2] | extra[pos + 3] << 8);
    if (pos + 4 + size > length) return false;
    if (id == AesCipher::kExtraFieldId && size >= 7) {
      const uint8_t* d = extra + pos + 4;
      out.vendorVersion = d[0] | d[1] << 8;
      out.strength = d[4];
      out.method = uint16_t(d[5] | d[6] << 8);
      return d[2] == 'A' && d[3] == 'E' && out.strength >= 1 && out.strength <= 3;
    }
    pos += 4 + size;
  }
  return false;
}

bool randomBytes(uint8_t* out, size_t length) { return RAND_bytes(out, int(length)) == 1; }

}  // namespace sszip
