#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"

#include <gtest/gtest.h>

#include "Ombrel/Classes/Business/QVApp.h"

namespace {

using Paths = std::vector<std::string>;

class FakeSourceList : public QVExportImageSourceList {
 public:
  Paths imagesPaths() const override { return list; }
  void setImagesPaths(const Paths& paths, bool cleanCache) override {
    list = paths;
    cleaned.push_back(cleanCache);
  }
  void addImageWithPaths(const Paths& paths) override {
    added.push_back(paths);
    list.insert(list.end(), paths.begin(), paths.end());
  }
  Paths validatedFilenames(const Paths& paths) const override {
    Paths valid;
    for (const auto& p : paths) {
      if (p.find("bad") == std::string::npos) valid.push_back(p);
    }
    return valid;
  }
  Paths list;
  std::vector<bool> cleaned;
  std::vector<Paths> added;
};

class Recorder : public QVExportImageDatasourceDelegate {
 public:
  void exportImagePathsDidChange(QVExportImageDatasource* datasource) override {
    seen.push_back(datasource->pathsOrEmpty());
  }
  std::vector<Paths> seen;
};

class QVExportImageDatasourceTest : public testing::Test {
 protected:
  void SetUp() override { QVExportImageSourceList::setShared(source); }
  void TearDown() override { QVExportImageSourceList::setShared(nullptr); }
  std::shared_ptr<FakeSourceList> source = std::make_shared<FakeSourceList>();
};

}  // namespace

TEST_F(QVExportImageDatasourceTest, StartsTheSourceListWithoutCleaningAndAddsOnlyNewPaths) {
  QVExportImageDatasource list({"/a.jpg", "/b.jpg"});
  EXPECT_EQ(source->list, (Paths{"/a.jpg", "/b.jpg"}));
  EXPECT_EQ(source->cleaned, (std::vector<bool>{false}));
  // A path already open is neither added again nor handed to the source list; two equal new paths
  // of one batch both stay.
  list.addPaths({"/b.jpg", "/c.jpg", "/c.jpg"});
  EXPECT_EQ(*list.paths(), (Paths{"/a.jpg", "/b.jpg", "/c.jpg", "/c.jpg"}));
  ASSERT_EQ(source->added.size(), 1u);
  EXPECT_EQ(source->added[0], (Paths{"/c.jpg", "/c.jpg"}));
  list.addPaths({"/a.jpg"});
  EXPECT_EQ(source->added.size(), 1u);
  // A cleared list takes exactly the added paths.
  list.clear();
  EXPECT_FALSE(list.paths().has_value());
  list.addPaths({"/d.jpg", "/a.jpg"});
  EXPECT_EQ(*list.paths(), (Paths{"/d.jpg", "/a.jpg"}));
}

TEST_F(QVExportImageDatasourceTest, TempPathsAndValidation) {
  QVExportImageDatasource list({"/a.jpg"});
  list.saveTempPath(std::nullopt);
  EXPECT_FALSE(list.tempPaths().has_value());
  list.saveTempPath("/x.jpg");
  EXPECT_EQ(*list.tempPaths(), (Paths{"/x.jpg"}));
  list.saveTempPath(std::nullopt);  // none leaves the saved one
  EXPECT_EQ(*list.tempPaths(), (Paths{"/x.jpg"}));
  list.clearTempPaths();
  EXPECT_FALSE(list.tempPaths().has_value());
  EXPECT_EQ(QVExportImageDatasource::validateFilenames({"/1.jpg", "/bad.jpg", "/2.jpg"}), (Paths{"/1.jpg", "/2.jpg"}));
}

TEST_F(QVExportImageDatasourceTest, ADeletionTakesTheSourceListOverAndTellsTheDelegate) {
  Recorder recorder;
  {
    QVExportImageDatasource list({"/a.jpg", "/b.jpg", "/c.jpg"});
    list.setDelegate(&recorder);
    source->list = {"/a.jpg", "/c.jpg"};
    qv::NotificationCenter::defaultCenter().post(kQVAppDidDeleteSourceItemNotification);
    EXPECT_EQ(*list.paths(), (Paths{"/a.jpg", "/c.jpg"}));
    source->list.clear();
    qv::NotificationCenter::defaultCenter().post(kQVAppDidDeleteSourceItemNotification);
    EXPECT_TRUE(list.paths()->empty());
  }
  ASSERT_EQ(recorder.seen.size(), 2u);
  EXPECT_EQ(recorder.seen[0], (Paths{"/a.jpg", "/c.jpg"}));
  // Once the list is gone it stops listening.
  qv::NotificationCenter::defaultCenter().post(kQVAppDidDeleteSourceItemNotification);
  EXPECT_EQ(recorder.seen.size(), 2u);
}
