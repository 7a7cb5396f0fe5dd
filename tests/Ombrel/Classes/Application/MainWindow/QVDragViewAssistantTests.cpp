#include "Ombrel/Classes/Application/MainWindow/QVDragViewAssistant.h"

#include <gtest/gtest.h>

#include <memory>

#include "QVPlatform/Value.h"

TEST(QVDragViewAssistant, AnExportSwitchesDroppingOffUntilItEnds) {
  auto* view = QVMake<QVOpenDragView>(CGRectMake(0, 0, 100, 100));
  {
    QVDragViewAssistant assistant(view);
    auto& center = qv::NotificationCenter::defaultCenter();
    center.post(kQVExportStateChangedNotificationName, std::make_shared<qv::Value>(int64_t(1)));
    EXPECT_FALSE(view->draggingEnabled());
    center.post(kQVExportStateChangedNotificationName, std::make_shared<qv::Value>(int64_t(2)));
    EXPECT_FALSE(view->draggingEnabled());
    center.post(kQVExportStateChangedNotificationName, std::make_shared<qv::Value>(int64_t(0)));
    EXPECT_TRUE(view->draggingEnabled());
    center.post(kQVExportStateChangedNotificationName, std::make_shared<qv::Value>(int64_t(1)));
  }
  // The assistant is gone: states no longer reach the view.
  qv::NotificationCenter::defaultCenter().post(kQVExportStateChangedNotificationName,
                                               std::make_shared<qv::Value>(int64_t(0)));
  EXPECT_FALSE(view->draggingEnabled());
  delete view;
  // Without a view nothing is observed, and nothing breaks.
  QVDragViewAssistant none(nullptr);
  qv::NotificationCenter::defaultCenter().post(kQVExportStateChangedNotificationName,
                                               std::make_shared<qv::Value>(int64_t(1)));
  EXPECT_EQ(none.dragView(), nullptr);
}
