#pragma once
// The TIFF choices of a batch preset's format: compression and bits per channel, each stored as a
// one-entry dictionary from the option's title to its number ({"LZW": 5}, {"16 Bits": 16}), as the
// option tables pair them. Only the number is read back.
// Dictionary: {"compression type": {title: integer}, "depth": {title: integer}}.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVSerializationProtocol.h"

class QVBatchTiffImageProperties : public QVSerializationProtocol {
 public:
  static std::shared_ptr<QVBatchTiffImageProperties> initWithDic(const qv::Value& dictionary);
  qv::Value serialize() const override;
  std::shared_ptr<QVBatchTiffImageProperties> copy() const {
    return std::make_shared<QVBatchTiffImageProperties>(*this);
  }

  const qv::Dictionary& compressionType() const { return compressionType_; }
  void setCompressionType(qv::Dictionary entry) { compressionType_ = std::move(entry); }
  const qv::Dictionary& depth() const { return depth_; }
  void setDepth(qv::Dictionary entry) { depth_ = std::move(entry); }
  // Sets the one entry of the dictionary.
  void setCompressionType(const std::string& title, int64_t code) { compressionType_ = {{title, qv::Value(code)}}; }
  void setDepth(const std::string& title, int64_t bits) { depth_ = {{title, qv::Value(bits)}}; }

  // The number of the (first) entry; nothing when there is none or it is no number.
  std::optional<int64_t> compressionValue() const { return firstNumber(compressionType_); }
  std::optional<int64_t> depthValue() const { return firstNumber(depth_); }

 private:
  static std::optional<int64_t> firstNumber(const qv::Dictionary& entry);
  qv::Dictionary compressionType_;
  qv::Dictionary depth_;
};
