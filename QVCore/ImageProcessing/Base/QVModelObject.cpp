#include "QVCore/ImageProcessing/Base/QVModelObject.h"

#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

void QVModelObject::postOnMainThread(const std::string& name, qv::Dictionary userInfo,
                                     std::map<std::string, std::shared_ptr<void>> userObjects) {
  qv::Notification n;
  n.name = name;
  n.object = sharedSelf();
  n.sender = notificationSender();
  n.userInfo = std::move(userInfo);
  n.userObjects = std::move(userObjects);
  qv::dispatchOnMainThread([n = std::move(n)] { qv::NotificationCenter::defaultCenter().post(n); });
}
