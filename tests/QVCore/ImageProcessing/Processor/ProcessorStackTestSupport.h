#pragma once
// Helpers for the layer-stack and saved-state tests: a processor loaded with a small picture, the
// engine list compared with the model, and a log of posted notifications.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/Model/Entities/QVLayerState.h"
#include "QVPlatform/NotificationCenter.h"

namespace solvane::test {

inline QVRovaProcessor::LayerPtr catalogueLayer(const std::string& identifier) {
  return QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(identifier);
}

inline std::shared_ptr<QVRovaProcessor> loadedProcessor() {
  auto p = QVRovaProcessor::init();
  EXPECT_TRUE(loadAndSettle(*p, gradientJpeg(400, 300), CGSizeMake(400, 300)));
  return p;
}

// The engine's list must be the depth-first walk of the model: the initial layer's subtree, then
// every stacked layer's, each engine layer at its depth.
inline void expectEngineMatchesModel(QVRovaProcessor& p) {
  settle(p);
  std::vector<rova::BaseLayerPtr> expected;
  std::vector<uint64_t> depths;
  auto add = [&](const QVRovaProcessor::LayerPtr& top) {
    for (const auto& l : top->rovaWaySublayers()) {
      expected.push_back(l->cppLayer());
      depths.push_back(l->level());
    }
  };
  if (auto initial = p.initialLayer()) add(initial);
  for (const auto& l : p.layers()) add(l);
  std::vector<rova::BaseLayerPtr> engine;
  std::vector<uint64_t> levels;
  p.performOnImageProcessingQueue(
      [&] {
        for (const auto& l : p.cppProcessor()->layers()) {
          engine.push_back(l);
          levels.push_back(l->level());
        }
      },
      true);
  EXPECT_EQ(engine, expected);
  EXPECT_EQ(levels, depths);
}

// Every layer at or below the active one is marked active, every one above inactive.
inline void expectActiveFlags(QVRovaProcessor& p) {
  auto list = p.layers();
  size_t a = size_t(std::find(list.begin(), list.end(), p.activeLayer()) - list.begin());
  for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i]->isActive(), i <= a) << "layer " << i;
}

inline double meanDifference(QVIPImage& a, QVIPImage& b) {
  auto x = a.imageData(), y = b.imageData();
  if (!x || !y || x->width() != y->width() || x->height() != y->height()) return 1e9;
  double sum = 0;
  for (int j = 0; j < x->height(); ++j)
    for (int i = 0; i < x->width(); ++i) {
      auto p = x->at(i, j), q = y->at(i, j);
      sum += std::fabs(p.r - q.r) + std::fabs(p.g - q.g) + std::fabs(p.b - q.b);
    }
  return sum / (3.0 * x->width() * x->height());
}

// Collects the notifications of one name posted while it lives.
struct NotificationLog {
  explicit NotificationLog(const std::string& name)
      : token(qv::NotificationCenter::defaultCenter().addObserver(
            name, nullptr, [this](const qv::Notification& n) { posts.push_back(n); })) {}
  std::vector<qv::Notification> posts;
  qv::ObserverToken token;
};

struct ProcessorStackTest : ::testing::Test {
  ProcessorStackTest() { QVLayerState::registerAsLayerStateMaker(); }
  void SetUp() override { processor = loadedProcessor(); }
  void TearDown() override {
    if (processor) settle(*processor);
  }
  std::shared_ptr<QVRovaProcessor> processor;
};

// The loaded processor with an edit history of its own, of which it is the delegate.
struct ProcessorWithHistoryTest : ProcessorStackTest {
  void SetUp() override {
    ProcessorStackTest::SetUp();
    qv::MainExecutor::shared().discardPending();
    manager = std::make_shared<QVHistoryManager>();
    processor->setHistoryManager(manager);
  }
  void TearDown() override {
    ProcessorStackTest::TearDown();
    manager.reset();
    qv::MainExecutor::shared().discardPending();
  }
  std::shared_ptr<QVHistoryManager> manager;
};

}  // namespace solvane::test
