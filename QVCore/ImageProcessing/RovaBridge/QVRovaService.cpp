#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"

#include "QVCore/Common/QVCoreStartup.h"

#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "rova/effects/WhiteBalanceEffect.h"

namespace {
constexpr const char* kCompanyFolderName = "Orvanta Software";
}

int QVRovaService::applicationContextForApplicationName(const std::string& name) {
  auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
  if (has("HalvenaHDR2018")) return 0;
  if (has("Velorin2018")) return 1;
  if (has("Velorin")) return 3;
  if (has("Solvane")) return 2;
  return 1;
}

rova::SRovaContext QVRovaService::startUpContext(const std::optional<std::string>& resourcePath) {
  rova::SRovaContext context;

  // 1. The log folder; the engine is given the folder that holds "Logs".
  const std::string logsRelative =
      std::string(kCompanyFolderName) + "/" + qv::QVAssistant::qvAppContainerFolderName() + "/Logs";
  qv::Error error;
  std::string logsPath = qv::findOrCreateDirectory(qv::SearchPathDirectory::ApplicationSupport,
                                                   qv::SearchPathDomain::User, logsRelative, &error);
  if (logsPath.empty()) {
    QV_LOG_FAILURE(
        "![[NSFileManager defaultManager] findOrCreateDirectory:NSApplicationSupportDirectory "
        "inDomain:NSUserDomainMask appendPathComponent:[NSString stringWithFormat:" +
        logsRelative + " error:" + error.description + "]");
    // The engine still gets the folder where the logs were meant to go; it creates what it needs.
    logsPath = qv::appendingPathComponent(qv::places::userApplicationSupportDirectory(), logsRelative);
  }
  context.logPath = qv::deletingLastPathComponent(logsPath);

  // 2. The user's camera profiles.
  const std::string userProfiles = qv::places::userApplicationSupportDirectory() + "/Adobe/CameraRaw/CameraProfiles";

  // 3. and 4. Resources and the two profile places inside them. On this platform the main
  // bundle's resources are its resource folder.
  context.resourcePath = resourcePath ? *resourcePath : qv::Bundle::mainBundle().resourcePath();
  context.cameraProfilesPaths.profilesListFile = context.resourcePath + "/CamerasProfiles.plist";
  context.cameraProfilesPaths.userProfilesFolder = userProfiles;
  context.cameraProfilesPaths.resourceProfilesFolder = context.resourcePath + "/CameraProfiles";

  // 5. The hosting application.
  context.applicationContext = applicationContextForApplicationName(qv::QVServiceUtils::applicationName());
  return context;
}

bool QVRovaService::rovaInitWithResourcePath(const std::optional<std::string>& resourcePath) {
  // The engine start-up is the first thing every program of ours does, so the shared container
  // is configured here once for presets, favourites and workspaces.
  QVCoreStartup();
  return rova::rovaInit(startUpContext(resourcePath));
}

double QVRovaService::percentsTint(double tint, bool forward) { return grfx_map_tint_percents(tint, forward); }

std::optional<std::string> QVRovaService::compressRovaimagedataAtPath(const std::string& path) {
  auto bytes = qv::readFileBytes(path);
  if (!bytes) {
    QV_LOG_FAILURE("[NSData dataWithContentsOfFile:" + path + "] == nil");
    return std::nullopt;
  }
  auto imagePtr = QVRovaHelper::rovaImagePtrFromRovaimagedata(*bytes);
  if (!imagePtr) {
    QV_LOG_FAILURE("[QVRovaHelper rovaImagePtrFromRovaimagedata:imageData] == nullptr");
    return std::nullopt;
  }
  auto imageData = QVRovaHelper::compressedImageDataForImage(imagePtr);
  if (imageData.empty()) {
    QV_LOG_FAILURE("[QVRovaHelper compressedImageDataForImage:imagePtr] == nil");
    return std::nullopt;
  }
  const std::string fileName = qv::appendingPathExtension(qv::stringWithUUID(), kQVRovaCompressedImageDataExtension);
  const std::string outputPath = qv::appendingPathComponent(qv::deletingLastPathComponent(path), fileName);
  if (!qv::writeFileAtomically(outputPath, imageData.data(), imageData.size())) {
    QV_LOG_FAILURE("[imageData writeToFile:" + outputPath + " atomically:YES] == NO");
    return std::nullopt;
  }
  return fileName;
}

std::string QVRovaService::effectIdForEffectType(uint64_t effectType) {
  switch (effectType) {
    case 1:
      return "ROVALensCorrectionEffect";
    case 2:
      return "ROVATextureOverlayEffect";
    case 3:
      return "ROVARawDevelopCommonEffectID";
    default:
      return "";
  }
}
