#pragma once
// The application facade's calls that the application layer makes, gathered in one place so the
// windows, menus and start-up read as the design describes and tests can replace the answers.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/Error.h"
#include "QVPlatform/ImageIO/NSImage.h"
#include "QVPlatform/Value.h"

class QVFeedbackSheet;
class QVBatchPresetManager;

namespace QVAppLink {

// Start-up: the engine, then the facade's start (logger, event tracker, long-term clean, factory), once
// per process.
bool startEngine();
void start();
// Plug-in mode and the host's photos (arguments "-QVPluginMode" / "-QVLightroomPluginOwner").
void configureWithArguments(const std::vector<std::string>& arguments);
// Whether a command line starts a plug-in run ("-QVPluginMode" among the arguments).
bool isPluginRunArguments(const std::vector<std::string>& arguments);
bool isPluginMode();
// The batch preset store (export options).
std::shared_ptr<QVBatchPresetManager> batchPresetManager();
std::vector<std::string> pluginPhotoCollection();
// What the menus read.
bool isProcessingImages();
bool exporting();
bool autoLensCorrectionEnabled();
void setAutoLensCorrectionEnabled(bool enabled);
bool autoColorTemperatureEnabled();
void setAutoColorTemperatureEnabled(bool enabled);
// The stop at quit: cancels image work and waits at most `limitSeconds`; false when it gave up.
bool cancelImageOperationsAndWaitUntilDone(double limitSeconds);
// A preview of the photo processed at the default priority; the completion (any thread)
// tells whether the photo was enhanced.
void processPreviewAtPath(const std::string& path, std::function<void(bool enhanced)> completion);
// The image cell's thumbnail (image type 0); the completion may run on any thread.
void loadThumbnailAtPath(const std::string& path, std::function<void(NSImageRef image)> completion);
// Usage events: the stored strength of an image, the running counters, the event tracker.
double boostAmountForImagePath(const std::string& path);
int64_t imageLoadCount();
void setImageLoadCount(int64_t count);
int64_t imageExportCount();
void setImageExportCount(int64_t count);
void trackEventsOfType(uint64_t type, const std::vector<qv::Dictionary>& infos);
// The feedback sheet as a multipart form to the feedback address; the answer (nullopt on success)
// on the main thread.
void sendFeedback(const QVFeedbackSheet& sheet, std::function<void(const std::optional<qv::Error>&)> completion);

}  // namespace QVAppLink
