#pragma once
// The one place that maps the core framework's protocols onto the classes implementing them: the
// application asks for an object by protocol and talks to it through that protocol. Class methods
// only, no state.
//
// A protocol is named by a `QVCoreProtocol` tag; the object comes back as a `QVCoreInstance` that
// hands it out as the type the tag promises (`QVCoreProtocolType<P>`), and as nothing else.
// Every call gives a new object, except the layer settings, which are shared.
#include <any>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>

class QVLayerSettingsProtocol;
class QVRovaProcessor;
class QVHDRSettingsProtocol;
class QVPresetModelProtocol;
class QVLayerStateModelProtocol;
class QVPresetGroupModelProtocol;
class QVWorkspaceModelProtocol;
class QVIPLayer;
class QVHistoryManagerProtocol;
class QVIPImage;

enum class QVCoreProtocol {
  QVLayerSettingsProtocol,
  QVImageProcessorProtocol,
  QVHDRImageProcessorProtocol,
  QVProject18ImageProcessorProtocol,
  QVZel18ImageProcessorProtocol,
  QVZel17ImageProcessorProtocol,
  QVHDRSettingsProtocol,
  QVPresetModelProtocol,
  QVLayerStateModelProtocol,
  QVPresetGroupModelProtocol,
  QVWorkspaceModelProtocol,
  QVLayerProtocol,
  QVHistoryManagerProtocol,
  QVImageProtocol,
};

// The type an object made for a protocol is handed out as. The processor protocols all give
// processors (the variants add no calls of their own).
template <QVCoreProtocol P>
struct QVCoreProtocolType;
#define QV_CORE_PROTOCOL_TYPE(P, T)              \
  template <>                                    \
  struct QVCoreProtocolType<QVCoreProtocol::P> { \
    using type = T;                              \
  }
QV_CORE_PROTOCOL_TYPE(QVLayerSettingsProtocol, ::QVLayerSettingsProtocol);
QV_CORE_PROTOCOL_TYPE(QVImageProcessorProtocol, QVRovaProcessor);
QV_CORE_PROTOCOL_TYPE(QVHDRImageProcessorProtocol, QVRovaProcessor);
QV_CORE_PROTOCOL_TYPE(QVProject18ImageProcessorProtocol, QVRovaProcessor);
QV_CORE_PROTOCOL_TYPE(QVZel18ImageProcessorProtocol, QVRovaProcessor);
QV_CORE_PROTOCOL_TYPE(QVZel17ImageProcessorProtocol, QVRovaProcessor);
QV_CORE_PROTOCOL_TYPE(QVHDRSettingsProtocol, ::QVHDRSettingsProtocol);
QV_CORE_PROTOCOL_TYPE(QVPresetModelProtocol, ::QVPresetModelProtocol);
QV_CORE_PROTOCOL_TYPE(QVLayerStateModelProtocol, ::QVLayerStateModelProtocol);
QV_CORE_PROTOCOL_TYPE(QVPresetGroupModelProtocol, ::QVPresetGroupModelProtocol);
QV_CORE_PROTOCOL_TYPE(QVWorkspaceModelProtocol, ::QVWorkspaceModelProtocol);
QV_CORE_PROTOCOL_TYPE(QVLayerProtocol, QVIPLayer);
QV_CORE_PROTOCOL_TYPE(QVHistoryManagerProtocol, ::QVHistoryManagerProtocol);
QV_CORE_PROTOCOL_TYPE(QVImageProtocol, QVIPImage);
#undef QV_CORE_PROTOCOL_TYPE

// An object made for a protocol, or nothing.
class QVCoreInstance {
 public:
  QVCoreInstance() = default;
  template <class T>
  static QVCoreInstance of(std::shared_ptr<T> object) {
    QVCoreInstance instance;
    if (object) {
      instance.object_ = std::move(object);
      instance.type_ = &typeid(T);
    }
    return instance;
  }

  explicit operator bool() const { return object_ != nullptr; }
  // The object as T: nullptr unless T is the type its protocol promises.
  template <class T>
  std::shared_ptr<T> as() const {
    if (!object_ || *type_ != typeid(T)) return nullptr;
    return std::static_pointer_cast<T>(object_);
  }
  // For identity comparisons.
  const void* get() const { return object_.get(); }

 private:
  std::shared_ptr<void> object_;
  const std::type_info* type_ = nullptr;
};

// Parameters by key; a value of another type than the key expects counts as missing.
using QVCoreInjectorParams = std::map<std::string, std::any>;
// A file path (std::string).
inline constexpr const char* kQVRovaImageUrlKey = "QVRovaImageUrl";
// A platform image (QVPlatformImage).
inline constexpr const char* kQVNSImageKey = "NSImageKey";

class QVCoreInjectorService {
 public:
  // A new object for the protocol (the shared layer settings for theirs).
  static QVCoreInstance makeInstanceByProtocol(QVCoreProtocol protocol);
  // With parameters: the image processor and the older processor load "QVRovaImageUrl" when it is
  // given (else as above); an image is made from "NSImageKey" (nothing without one); every other
  // protocol gives nothing.
  static QVCoreInstance makeInstanceByProtocol(QVCoreProtocol protocol, const QVCoreInjectorParams& params);

  // The typed forms.
  template <QVCoreProtocol P>
  static std::shared_ptr<typename QVCoreProtocolType<P>::type> makeInstance() {
    return makeInstanceByProtocol(P).template as<typename QVCoreProtocolType<P>::type>();
  }
  template <QVCoreProtocol P>
  static std::shared_ptr<typename QVCoreProtocolType<P>::type> makeInstance(const QVCoreInjectorParams& params) {
    return makeInstanceByProtocol(P, params).template as<typename QVCoreProtocolType<P>::type>();
  }
};
