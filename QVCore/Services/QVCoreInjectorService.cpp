#include "QVCore/Services/QVCoreInjectorService.h"

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVProject18Processor.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVZel17Processor.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVZel18Processor.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRProcessor.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRSettings.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/Model/Entities/QVLayerState.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVCore/Model/Entities/QVPresetGroup.h"
#include "QVCore/Model/Entities/QVWorkspace.h"
#include "QVCore/Settings/QVLayerSettings.h"

namespace {

template <class T>
const T* paramOfType(const QVCoreInjectorParams& params, const char* key) {
  auto it = params.find(key);
  return it == params.end() ? nullptr : std::any_cast<T>(&it->second);
}

template <class T, class Object>
QVCoreInstance instanceAs(std::shared_ptr<Object> object) {
  return QVCoreInstance::of<T>(std::shared_ptr<T>(std::move(object)));
}

}  // namespace

QVCoreInstance QVCoreInjectorService::makeInstanceByProtocol(QVCoreProtocol protocol) {
  switch (protocol) {
    case QVCoreProtocol::QVLayerSettingsProtocol: {
      // The shared settings live for the whole process: the handle owns nothing.
      QVLayerSettingsProtocol* shared = &QVLayerSettings::settings();
      return QVCoreInstance::of(std::shared_ptr<QVLayerSettingsProtocol>(std::shared_ptr<void>(), shared));
    }
    case QVCoreProtocol::QVImageProcessorProtocol:
      return instanceAs<QVRovaProcessor>(QVRovaProcessor::init());
    case QVCoreProtocol::QVHDRImageProcessorProtocol:
      return instanceAs<QVRovaProcessor>(QVHDRProcessor::init());
    case QVCoreProtocol::QVProject18ImageProcessorProtocol:
      return instanceAs<QVRovaProcessor>(QVProject18Processor::init());
    case QVCoreProtocol::QVZel18ImageProcessorProtocol:
      return instanceAs<QVRovaProcessor>(QVZel18Processor::init());
    case QVCoreProtocol::QVZel17ImageProcessorProtocol:
      return instanceAs<QVRovaProcessor>(QVZel17Processor::init());
    case QVCoreProtocol::QVHDRSettingsProtocol:
      return instanceAs<QVHDRSettingsProtocol>(QVHDRSettings::defaultSettings());
    case QVCoreProtocol::QVPresetModelProtocol:
      return instanceAs<QVPresetModelProtocol>(std::make_shared<QVPreset>());
    case QVCoreProtocol::QVLayerStateModelProtocol:
      return instanceAs<QVLayerStateModelProtocol>(std::make_shared<QVLayerState>());
    case QVCoreProtocol::QVPresetGroupModelProtocol:
      return instanceAs<QVPresetGroupModelProtocol>(std::make_shared<QVPresetGroup>());
    case QVCoreProtocol::QVWorkspaceModelProtocol:
      return instanceAs<QVWorkspaceModelProtocol>(std::make_shared<QVWorkspace>());
    case QVCoreProtocol::QVLayerProtocol:
      return instanceAs<QVIPLayer>(QVIPLayerFactory::layer());
    case QVCoreProtocol::QVHistoryManagerProtocol:
      return instanceAs<QVHistoryManagerProtocol>(std::make_shared<QVHistoryManager>());
    case QVCoreProtocol::QVImageProtocol:
      break;
  }
  return {};
}

QVCoreInstance QVCoreInjectorService::makeInstanceByProtocol(QVCoreProtocol protocol,
                                                             const QVCoreInjectorParams& params) {
  switch (protocol) {
    case QVCoreProtocol::QVImageProcessorProtocol:
      if (auto path = paramOfType<std::string>(params, kQVRovaImageUrlKey))
        return instanceAs<QVRovaProcessor>(QVRovaProcessor::initWithURL(*path));
      return makeInstanceByProtocol(protocol);
    case QVCoreProtocol::QVZel17ImageProcessorProtocol:
      if (auto path = paramOfType<std::string>(params, kQVRovaImageUrlKey))
        return instanceAs<QVRovaProcessor>(QVZel17Processor::initWithURL(*path));
      return makeInstanceByProtocol(protocol);
    case QVCoreProtocol::QVImageProtocol:
      if (auto image = paramOfType<QVPlatformImage>(params, kQVNSImageKey))
        return instanceAs<QVIPImage>(QVIPImage::initWithNSImage(*image));
      return {};
    default:
      return {};
  }
}
