#include "QVCore/Archive/ZipEntryStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace sszip {

namespace {

constexpr size_t kChunk = 16384;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }
void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

bool preadAll(int fd, uint8_t* buffer, size_t length, uint64_t offset) {
  while (length > 0) {
    ssize_t n = ::pread(fd, buffer, length, off_t(offset));
    if (n <= 0) return false;
    buffer += n;
    length -= size_t(n);
    offset += uint64_t(n);
  }
  return true;
}

bool pwriteAll(int fd, const uint8_t* buffer, size_t length, uint64_t offset) {
  while (length > 0) {
    ssize_t n = ::pwrite(fd, buffer, length, off_t(offset));
    if (n <= 0) return false;
    buffer += n;
    length -= size_t(n);
    offset += uint64_t(n);
  }
  return true;
}

// The local header offset from a central header (46 fixed bytes, then name, extra, comment),
// looking into the zip64 extra field when the 32-bit field is saturated.
bool localHeaderOffset(int fd, uint64_t centralPos, uint64_t& offset, uint8_t* central = nullptr) {
  uint8_t h[46];
  if (!preadAll(fd, h, sizeof h, centralPos) || le32(h) != kCentralHeaderSignature) return false;
  if (central) std::memcpy(central, h, sizeof h);
  offset = le32(h + 42);
  if (offset != 0xffffffffu) return true;
  uint16_t nameLen = le16(h + 28), extraLen = le16(h + 30);
  std::vector<uint8_t> extra(extraLen);
  if (!preadAll(fd, extra.data(), extra.size(), centralPos + 46 + nameLen)) return false;
  for (size_t pos = 0; pos + 4 <= extra.size();) {
    uint16_t id = le16(&extra[pos]), size = le16(&extra[pos + 2]);
    if (pos + 4 + size > extra.size()) return false;
    if (id == 0x0001) {
      size_t field = pos + 4;
      if (le32(h + 24) == 0xffffffffu) field += 8;  // uncompressed size comes first
      if (le32(h + 20) == 0xffffffffu) field += 8;  // then the compressed size
      if (field + 8 > pos + 4 + size) return false;
      offset = le64(&extra[field]);
      return true;
    }
    pos += 4 + size;
  }
  return false;
}

bool entryDataOffset(int fd, uint64_t centralPos, uint64_t& dataOffset) {
  uint64_t local = 0;
  uint8_t h[30];
  if (!localHeaderOffset(fd, centralPos, local) || !preadAll(fd, h, sizeof h, local) ||
      le32(h) != kLocalHeaderSignature)
    return false;
  dataOffset = local + 30 + le16(h + 26) + le16(h + 28);
  return true;
}

}  // namespace

// ---- reading ----

EntryReader::EntryReader(unzFile archive, std::string archivePath)
    : archive_(archive), archivePath_(std::move(archivePath)) {}

EntryReader::~EntryReader() {
  if (mode_ == Mode::Plain) unzCloseCurrentFile(archive_);
  releaseEncrypted();
}

void EntryReader::releaseEncrypted() {
  if (inflating_) inflateEnd(&stream_);
  inflating_ = false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  traditional_.reset();
  aes_.reset();
}

EntryReader::OpenResult EntryReader::open(const unz_file_info64& info, const std::vector<uint8_t>& extra,
                                          const std::string& password) {
  crc_ = 0;
  streamEnded_ = false;
  if (!(info.flag & 1)) {
    if (info.compression_method == AesCipher::kCompressionMethod || unzOpenCurrentFile(archive_) != UNZ_OK)
      return OpenResult::Failed;
    mode_ = Mode::Plain;
    return OpenResult::Ok;
  }
  if (password.empty()) return OpenResult::WrongPassword;
  uint64_t dataOffset = 0;
  fd_ = ::open(archivePath_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0 || !entryDataOffset(fd_, unzGetOffset64(archive_), dataOffset)) {
    releaseEncrypted();
    return OpenResult::Failed;
  }
  uint64_t overhead = 0;
  OpenResult result = OpenResult::Ok;
  if (info.compression_method == AesCipher::kCompressionMethod) {
    AesFieldInfo field;
    if (!findAesExtraField(extra.data(), extra.size(), field)) {
      releaseEncrypted();
      return OpenResult::Failed;
    }
    method_ = field.method;
    const size_t saltLen = AesCipher::saltLength(field.strength);
    overhead = saltLen + AesCipher::kVerifierLength + AesCipher::kAuthCodeLength;
    std::vector<uint8_t> salt(saltLen);
    std::array<uint8_t, AesCipher::kVerifierLength> verifier{};
    if (info.compressed_size < overhead || !preadAll(fd_, salt.data(), saltLen, dataOffset) ||
        !preadAll(fd_, verifier.data(), verifier.size(), dataOffset + saltLen)) {
      releaseEncrypted();
      return OpenResult::Failed;
    }
    aes_ = std::make_unique<AesCipher>();
    if (!aes_->beginDecrypting(password, field.strength, salt, verifier)) result = OpenResult::WrongPassword;
    position_ = dataOffset + saltLen + AesCipher::kVerifierLength;
    checkCrc_ = field.vendorVersion == 1;  // AE-2 stores no CRC
    mode_ = Mode::Aes;
  } else {
    method_ = uint16_t(info.compression_method);
    overhead = TraditionalCipher::kHeaderLength;
    std::array<uint8_t, TraditionalCipher::kHeaderLength> header{};
    if (info.compressed_size < overhead || !preadAll(fd_, header.data(), header.size(), dataOffset)) {
      releaseEncrypted();
      return OpenResult::Failed;
    }
    // With a data descriptor the CRC is not known in advance and the time checks instead.
    uint8_t check = (info.flag & 8) ? uint8_t(info.dosDate >> 8) : uint8_t(info.crc >> 24);
    traditional_.emplace(password);
    if (!traditional_->acceptHeader(header, check)) result = OpenResult::WrongPassword;
    position_ = dataOffset + header.size();
    checkCrc_ = true;
    mode_ = Mode::Traditional;
  }
  if (result == OpenResult::Ok && method_ != 0 && method_ != Z_DEFLATED) result = OpenResult::Failed;
  if (result == OpenResult::Ok && method_ == Z_DEFLATED) {
    std::memset(&stream_, 0, sizeof stream_);
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) result = OpenResult::Failed;
    inflating_ = result == OpenResult::Ok;
  }
  if (result != OpenResult::Ok) {
    releaseEncrypted();
    mode_ = Mode::Closed;
    return result;
  }
  expectedCrc_ = uint32_t(info.crc);
  rawRemaining_ = info.compressed_size - overhead;
  return OpenResult::Ok;
}

bool EntryReader::readRaw(uint8_t* buffer, size_t length) {
  if (!preadAll(fd_, buffer, length, position_)) return false;
  position_ += length;
  rawRemaining_ -= length;
  if (aes_)
    aes_->decrypt(buffer, length);
  else
    traditional_->decrypt(buffer, length);
  return true;
}

int64_t EntryReader::readInflated(uint8_t* buffer, size_t length) {
  while (!streamEnded_) {
    if (stream_.avail_in == 0 && rawRemaining_ > 0) {
      size_t n = size_t(std::min<uint64_t>(rawRemaining_, kChunk));
      input_.resize(kChunk);
      if (!readRaw(input_.data(), n)) return kReadError;
      stream_.next_in = input_.data();
      stream_.avail_in = uInt(n);
    }
    stream_.next_out = buffer;
    stream_.avail_out = uInt(length);
    int ret = inflate(&stream_, Z_NO_FLUSH);
    size_t produced = length - stream_.avail_out;
    if (ret == Z_STREAM_END)
      streamEnded_ = true;
    else if (ret == Z_DATA_ERROR || ret == Z_NEED_DICT || ret == Z_MEM_ERROR)
      return kDataError;
    else if (produced == 0 && stream_.avail_in == 0 && rawRemaining_ == 0)
      return kDataError;  // the stored data ends before the deflate stream does
    if (produced > 0) return int64_t(produced);
  }
  return 0;
}

int64_t EntryReader::read(uint8_t* buffer, size_t length) {
  length = std::min(length, kChunk);
  int64_t n = 0;
  switch (mode_) {
    case Mode::Closed:
      return kReadError;
    case Mode::Plain: {
      int r = unzReadCurrentFile(archive_, buffer, unsigned(length));
      if (r < 0) return r == Z_DATA_ERROR ? kDataError : kReadError;
      return r;
    }
    case Mode::Traditional:
    case Mode::Aes:
      if (method_ == Z_DEFLATED) {
        n = readInflated(buffer, length);
      } else {
        n = int64_t(std::min<uint64_t>(rawRemaining_, length));
        if (n > 0 && !readRaw(buffer, size_t(n))) return kReadError;
      }
      if (n > 0) crc_ = uint32_t(crc32(crc_, buffer, uInt(n)));
      return n;
  }
  return kReadError;
}

bool EntryReader::close() {
  bool ok = true;
  if (mode_ == Mode::Plain) {
    ok = unzCloseCurrentFile(archive_) != UNZ_CRCERROR;
  } else if (mode_ != Mode::Closed) {
    bool complete = method_ == Z_DEFLATED ? streamEnded_ : rawRemaining_ == 0;
    if (complete) {
      if (mode_ == Mode::Aes) {
        uint8_t scratch[kChunk];
        while (rawRemaining_ > 0 && ok)  // trailing bytes still count for the authentication code
          ok = readRaw(scratch, size_t(std::min<uint64_t>(rawRemaining_, sizeof scratch)));
        std::array<uint8_t, AesCipher::kAuthCodeLength> stored{};
        ok = ok && preadAll(fd_, stored.data(), stored.size(), position_) && stored == aes_->authCode();
      }
      if (checkCrc_ && crc_ != expectedCrc_) ok = false;
    }
    releaseEncrypted();
  }
  mode_ = Mode::Closed;
  return ok;
}

// ---- writing ----

EntryWriter::~EntryWriter() {
  if (open_) close();
}

bool EntryWriter::open(const std::string& name, const zip_fileinfo& info, int level,
                       const std::optional<std::string>& password, bool aes, uint32_t contentCrc) {
  raw_ = password.has_value();
  std::vector<uint8_t> extra = raw_ && aes ? aesExtraField(3, Z_DEFLATED) : std::vector<uint8_t>{};
  const void* extraData = extra.empty() ? nullptr : extra.data();
  int err = zipOpenNewFileInZip4_64(archive_, name.c_str(), &info, extraData, uInt(extra.size()), extraData,
                                    uInt(extra.size()), nullptr, Z_DEFLATED, level, raw_ ? 1 : 0, -MAX_WBITS,
                                    DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeBy, raw_ ? 1 : 0, 0);
  if (err != ZIP_OK) return false;
  open_ = true;
  failed_ = false;
  crc_ = 0;
  total_ = 0;
  if (!raw_) return true;
  std::memset(&stream_, 0, sizeof stream_);
  if (deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK) {
    raw_ = false;
    failed_ = true;
    return false;
  }
  if (aes) {
    aes_ = std::make_unique<AesCipher>();
    std::vector<uint8_t> salt;
    std::array<uint8_t, AesCipher::kVerifierLength> verifier{};
    failed_ = !aes_->beginEncrypting(*password, 3, salt, verifier) ||
              zipWriteInFileInZip(archive_, salt.data(), unsigned(salt.size())) != ZIP_OK ||
              zipWriteInFileInZip(archive_, verifier.data(), unsigned(verifier.size())) != ZIP_OK;
    wroteAes_ = true;
  } else {
    traditional_.emplace(*password);
    auto header = traditional_->makeHeader(uint8_t(contentCrc >> 24));
    failed_ = zipWriteInFileInZip(archive_, header.data(), unsigned(header.size())) != ZIP_OK;
  }
  return !failed_;
}

bool EntryWriter::store(uint8_t* data, size_t length) {
  if (aes_)
    aes_->encrypt(data, length);
  else
    traditional_->encrypt(data, length);
  return zipWriteInFileInZip(archive_, data, unsigned(length)) == ZIP_OK;
}

bool EntryWriter::deflateAndStore(int flush) {
  uint8_t out[kChunk];
  int ret = Z_OK;
  do {
    stream_.next_out = out;
    stream_.avail_out = sizeof out;
    ret = deflate(&stream_, flush);
    if (ret == Z_STREAM_ERROR) return false;
    size_t produced = sizeof out - stream_.avail_out;
    if (produced > 0 && !store(out, produced)) return false;
  } while (stream_.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
  return true;
}

bool EntryWriter::write(const uint8_t* data, size_t length) {
  if (!open_ || failed_) return false;
  if (!raw_) {
    failed_ = zipWriteInFileInZip(archive_, data, unsigned(length)) != ZIP_OK;
    return !failed_;
  }
  crc_ = uint32_t(crc32(crc_, data, uInt(length)));
  total_ += length;
  stream_.next_in = const_cast<Bytef*>(data);
  stream_.avail_in = uInt(length);
  failed_ = !deflateAndStore(Z_NO_FLUSH);
  return !failed_;
}

bool EntryWriter::close() {
  if (!open_) return false;
  open_ = false;
  if (!raw_) return zipCloseFileInZip(archive_) == ZIP_OK && !failed_;
  bool ok = !failed_ && deflateAndStore(Z_FINISH);
  deflateEnd(&stream_);
  if (ok && aes_) {
    auto code = aes_->authCode();
    ok = zipWriteInFileInZip(archive_, code.data(), unsigned(code.size())) == ZIP_OK;
  }
  // AE-2 leaves the CRC out: the authentication code protects the content instead.
  ok = zipCloseFileInZipRaw64(archive_, total_, aes_ ? 0 : crc_) == ZIP_OK && ok;
  aes_.reset();
  traditional_.reset();
  return ok;
}

// ---- the end record ----

namespace {

struct FileCloser {
  int fd;
  ~FileCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Finds the end-of-central-directory record; our writer stores no archive comment, but an
// archive from elsewhere may, so the search goes back over the longest one.
bool findEndRecord(int fd, uint8_t record[22], uint64_t& endPos) {
  off_t size = ::lseek(fd, 0, SEEK_END);
  if (size < 22) return false;
  const uint64_t tail = std::min<uint64_t>(uint64_t(size), 22 + 0xffff);
  std::vector<uint8_t> buf(tail);
  if (!preadAll(fd, buf.data(), buf.size(), uint64_t(size) - tail)) return false;
  for (int64_t i = int64_t(tail) - 22; i >= 0; --i)
    if (le32(&buf[size_t(i)]) == kEndSignature) {
      std::memcpy(record, &buf[size_t(i)], 22);
      endPos = uint64_t(size) - tail + uint64_t(i);
      return true;
    }
  return false;
}

}  // namespace

bool isEmptyArchive(const std::string& archivePath) {
  FileCloser file{::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC)};
  uint8_t e[22];
  uint64_t endPos = 0;
  return file.fd >= 0 && findEndRecord(file.fd, e, endPos) && le16(e + 8) == 0 && le16(e + 10) == 0 &&
         le32(e + 12) == 0;
}

// ---- marking AES entries ----

bool markAesEntries(const std::string& archivePath) {
  FileCloser file{::open(archivePath.c_str(), O_RDWR | O_CLOEXEC)};
  const int fd = file.fd;
  uint8_t e[22];
  uint64_t endPos = 0;
  if (fd < 0 || !findEndRecord(fd, e, endPos)) return false;
  uint64_t count = le16(e + 10);
  uint64_t centralPos = le32(e + 16);
  if ((centralPos == 0xffffffffu || count == 0xffff) && endPos >= 20) {
    uint8_t locator[20], record[56];
    if (preadAll(fd, locator, sizeof locator, endPos - 20) && le32(locator) == kZip64LocatorSignature &&
        preadAll(fd, record, sizeof record, le64(locator + 8))) {
      count = le64(record + 32);
      centralPos = le64(record + 48);
    }
  }
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t h[46];
    uint64_t local = 0;
    if (!localHeaderOffset(fd, centralPos, local, h)) return false;
    uint16_t nameLen = le16(h + 28), extraLen = le16(h + 30), commentLen = le16(h + 32);
    std::vector<uint8_t> extra(extraLen);
    if (!preadAll(fd, extra.data(), extra.size(), centralPos + 46 + nameLen)) return false;
    AesFieldInfo field;
    if (findAesExtraField(extra.data(), extra.size(), field) && le16(h + 10) != AesCipher::kCompressionMethod) {
      uint8_t patch[2];
      put16(patch, AesCipher::kCompressionMethod);
      uint8_t version[2];
      put16(version, 51);  // AES needs version 5.1 to extract
      if (!pwriteAll(fd, version, 2, centralPos + 6) || !pwriteAll(fd, patch, 2, centralPos + 10) ||
          !pwriteAll(fd, version, 2, local + 4) || !pwriteAll(fd, patch, 2, local + 8))
        return false;
    }
    centralPos += 46 + nameLen + extraLen + commentLen;
  }
  return true;
}

bool crcOfFile(int fd, uint32_t& crc) {
  crc = 0;
  uint8_t buf[kChunk];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) break;
    crc = uint32_t(crc32(crc, buf, uInt(n)));
  }
  return ::lseek(fd, 0, SEEK_SET) == 0;
}

}  // namespace sszip
