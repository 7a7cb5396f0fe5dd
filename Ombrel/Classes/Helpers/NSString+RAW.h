#pragma once
// Path-string additions about RAW files and image properties. Paths are file-system paths.
#include <string>
#include <vector>

#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/Value.h"

namespace NSStringRAW {

// The lower-cased extension is "dng".
bool isDNG(const std::string& path);
// The engine reader takes the file for a RAW image.
bool isRAW(const std::string& path);
// Never on this platform.
inline bool isAppleImage(const std::string&) { return false; }
// A RAW file other than DNG that the RAW library may open: a forced camera, or neither the camera
// nor the lower-cased extension skipped (QVServiceUtils).
bool canOpenViaLibRaw(const std::string& path);
// The receiver is an extension: the preferred type identifier of the MIME type "image/<extension>"
// equals `uti`.
bool doesExtensionReferToUTI(const std::string& extension, const std::string& uti);
// An image source over the file, or nullptr.
CGImageSourceRef imageSource(const std::string& path);
// The properties of the first image, or a null value.
qv::Value imageProperties(const std::string& path);
// The "Model" entry of the {TIFF} properties; empty when there is none.
std::string cameraModel(const std::string& path);
// The types the RAW helpers leave out: "x3f", "kdc".
const std::vector<std::string>& exceptionalImageTypes();

}  // namespace NSStringRAW
