#pragma once
// Reading and writing the content of one zip entry. Plain entries go through minizip as they
// are; encrypted entries (traditional or WinZip AES) are stored by minizip in raw mode and
// compressed, encrypted and checked here, as the system's minizip build carries no working
// encryption. Internal to QVCore/Archive.
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/Archive/ZipCrypto.h"

namespace sszip {

// "Version made by" of written entries: Unix, so that other tools honour the permissions.
constexpr uLong kVersionMadeBy = (3u << 8) | 30u;

class EntryReader {
 public:
  enum class OpenResult { Ok, WrongPassword, Failed };
  static constexpr int64_t kDataError = -1;  // corrupt data (or an undetected wrong password)
  static constexpr int64_t kReadError = -2;  // the archive could not be read

  EntryReader(unzFile archive, std::string archivePath);
  ~EntryReader();
  EntryReader(const EntryReader&) = delete;
  EntryReader& operator=(const EntryReader&) = delete;

  // Opens the current entry of the archive; an empty password means none.
  OpenResult open(const unz_file_info64& info, const std::vector<uint8_t>& extra, const std::string& password);
  // Bytes read (0 at the end) or kDataError / kReadError.
  int64_t read(uint8_t* buffer, size_t length);
  // Closes the entry; false when the whole entry was read and its checksum or authentication
  // code does not match.
  bool close();

 private:
  enum class Mode { Closed, Plain, Traditional, Aes };
  bool readRaw(uint8_t* buffer, size_t length);
  int64_t readInflated(uint8_t* buffer, size_t length);
  void releaseEncrypted();

  unzFile archive_;
  std::string archivePath_;
  Mode mode_ = Mode::Closed;
  int fd_ = -1;
  uint64_t position_ = 0;      // next raw byte in the archive file
  uint64_t rawRemaining_ = 0;  // encrypted payload bytes not yet read
  uint16_t method_ = 0;
  bool checkCrc_ = false;
  uint32_t expectedCrc_ = 0;
  uint32_t crc_ = 0;
  bool inflating_ = false;
  bool streamEnded_ = false;
  z_stream stream_{};
  std::vector<uint8_t> input_;
  std::optional<TraditionalCipher> traditional_;
  std::unique_ptr<AesCipher> aes_;
};

class EntryWriter {
 public:
  explicit EntryWriter(zipFile archive) : archive_(archive) {}
  ~EntryWriter();
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  // Opens a new deflated entry. With a password it is encrypted, with AES when aes is true;
  // traditional encryption needs the content's CRC-32 up front.
  bool open(const std::string& name, const zip_fileinfo& info, int level, const std::optional<std::string>& password,
            bool aes, uint32_t contentCrc);
  bool write(const uint8_t* data, size_t length);
  bool close();
  bool wroteAes() const { return wroteAes_; }

 private:
  bool deflateAndStore(int flush);
  bool store(uint8_t* data, size_t length);

  zipFile archive_;
  bool open_ = false;
  bool raw_ = false;
  bool failed_ = false;
  bool wroteAes_ = false;
  uint32_t crc_ = 0;
  uint64_t total_ = 0;
  z_stream stream_{};
  std::optional<TraditionalCipher> traditional_;
  std::unique_ptr<AesCipher> aes_;
};

// minizip cannot write compression method 99, so AES entries are written as deflated entries
// carrying the AES extra field and marked afterwards, in the local and central headers.
bool markAesEntries(const std::string& archivePath);

// True for an archive that is only an end record without entries, which minizip will not open.
bool isEmptyArchive(const std::string& archivePath);

// The CRC-32 of a whole file, read from its start; leaves the descriptor at the start again.
bool crcOfFile(int fd, uint32_t& crc);

}  // namespace sszip
