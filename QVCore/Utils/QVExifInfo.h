#pragma once
// The EXIF summary an image layer keeps of its source picture: a plain record filled field by
// field from the engine's EXIF record; no behaviour of its own.
#include <cstdint>
#include <string>

struct QVExifInfo {
  double isoSpeed = 0;
  double shutterSpeed = 0;
  double fNumber = 0;
  double focaleLen = 0;  // focal length in millimetres
  double ev = 0;
  double minFocalLen = 0, maxFocalLen = 0;
  double minShutter = 0, maxShutter = 0;
  int64_t bitsPerSample = 0;  // nothing sets it
  bool isRaw = false;
  bool isAppleCamera = false;
  bool isHDR = false;
  // The record names a lens-correction profile of the camera or of the lens.
  bool lcpAvailable = false;
  std::string cameraName;  // make
  std::string cameraModel;
  std::string extension;  // file extension of the source
};
