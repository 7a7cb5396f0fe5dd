#include "QVPlatform/ImageIO/QVShareManager.h"

#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/Log.h"

QVShareManager& QVShareManager::shared() {
  static QVShareManager manager;
  return manager;
}

bool QVShareManager::saveImage(const CGImageRef& image, const std::string& url, const std::string& type,
                               const qv::Value& properties, std::string* error, bool replace) const {
  std::string why;
  bool ok = false;
  if (!image) {
    why = "no image to write";
  } else if (auto destination = CGImageDestinationCreateWithURL(
                 url, type, 1, qv::Dictionary{{kQVImageDestinationReplacesExistingFile, replace}})) {
    CGImageDestinationAddImage(destination, image, properties);
    ok = CGImageDestinationFinalize(destination, &why);
  } else {
    why = "cannot write the type \"" + type + "\"";
  }
  if (!ok) {
    QV_LOG_FAILURE("saveImage " + url + ": " + why);
    if (error) *error = why;
  }
  return ok;
}
