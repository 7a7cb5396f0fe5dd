#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/Model/Entities/QVWorkspace.h"
#include "QVCore/Services/QVWorkspaceService.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"

namespace fs = std::filesystem;

namespace {

std::shared_ptr<QVIPLayer> plainLayer(const std::string& identifier, bool hidden = false) {
  auto layer = QVIPLayer::initWithDefaultSettings();
  layer->setIdentifier(identifier);
  if (hidden) layer->setHidden(true);
  return layer;
}

// A processor's layer maker that knows every identifier except "Unknown" and records the calls.
struct RecordingMaker {
  std::vector<std::string> asked;
  QVWorkspaceLayerMaker maker() {
    return [this](const std::string& id) -> std::shared_ptr<QVIPLayer> {
      asked.push_back(id);
      return id == "Unknown" ? nullptr : plainLayer(id);
    };
  }
};

// Puts back the strings table the application ships (the table is shared by the whole process).
void restoreShippedStringsTable() {
  for (const char* sub : {"", "en.lproj"})
    for (const char* ext : {"strings", "plist"}) {
      const std::string path = qv::Bundle::mainBundle().pathForResource("Localizable", ext, sub);
      if (!path.empty() && qv::QVSLocalization::loadTableFromFile(path)) return;
    }
  qv::QVSLocalization::setTable({});
}

qv::Value workspaceDictionary(const std::string& identifier, const std::string& name, qv::Array layers = {}) {
  qv::Value d;
  d.set("Identifier", identifier).set("Name", name).set("Expanded", true).set("Editable", true).set("Order", 0);
  d.set("IdentifierLayers", std::move(layers));
  return d;
}

class WorkspaceServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    QVCoreStartup();
    folder_ = QVWorkspaceService::workspacesPath();
    ASSERT_FALSE(folder_.empty());
    fs::remove_all(folder_);
    fs::remove(QVWorkspaceService::defaultWorkspacePlistPath());
  }

  void write(const std::string& file, const qv::Value& d) {
    fs::create_directories(folder_);
    ASSERT_TRUE(qv::PropertyList::writeFile(folder_ + "/" + file, d));
  }
  qv::Value read(const std::string& file) { return qv::PropertyList::readFile(folder_ + "/" + file, nullptr); }
  std::vector<std::string> files() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string folder_;
};

}  // namespace

TEST_F(WorkspaceServiceTest, ShippedWorkspacesComeByOrderWithTheirLayersAndLocalisedNames) {
  RecordingMaker processor;
  auto shipped = QVWorkspaceService::loadFromBundleForProcessor(processor.maker());
  ASSERT_EQ(shipped.size(), 2u);
  EXPECT_EQ(shipped[0]->identifier(), "default");
  EXPECT_EQ(shipped[1]->identifier(), "empty");
  EXPECT_EQ(shipped[0]->subLayers().size(), 3u);
  EXPECT_TRUE(shipped[1]->subLayers().empty());
  EXPECT_FALSE(shipped[0]->editable());

  auto empty = QVWorkspaceService::loadEmptyWorkspace();
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->identifier(), "empty");
  EXPECT_FALSE(QVWorkspaceService::loadBundleWorkspaceWithIdentifier("nope", nullptr));

  qv::QVSLocalization::setTable({{"Default", "Standard"}, {"Mine", "Not mine"}});
  EXPECT_EQ(shipped[0]->localizedName(), "Standard");
  EXPECT_EQ(QVWorkspaceService::createWithName("Mine", {})->localizedName(), "Mine") << "user names are not looked up";
  restoreShippedStringsTable();
}

TEST_F(WorkspaceServiceTest, ProcessorsMakeTheLayersThroughTheEffectsCatalogue) {
  auto superlayer = QVIPLayer::initWithDefaultSettings();
  const QVWorkspaceLayerMaker maker = QVWorkspaceService::layerMakerForSuperlayer(superlayer);
  auto shipped = QVWorkspaceService::loadFromBundleForProcessor(maker);
  ASSERT_EQ(shipped.size(), 2u);
  std::vector<std::string> ids;
  for (const auto& layer : shipped[0]->subLayers()) ids.push_back(layer->identifier());
  EXPECT_EQ(ids, (std::vector<std::string>{"ExposureAdjustmentLayer", "WhiteBalanceAdjustmentLayer",
                                           "SharpenAdjustmentLayer"}));
  EXPECT_EQ(shipped[0]->serialize()["IdentifierLayers"],
            qv::Value(qv::Array{"ExposureAdjustmentLayer", "WhiteBalanceAdjustmentLayer", "SharpenAdjustmentLayer"}));
  // The catalogue's bare stand-in for an identifier it does not know is no workspace layer.
  EXPECT_FALSE(maker("NoSuchAdjustmentLayer"));
}

TEST_F(WorkspaceServiceTest, DictionariesAreTypeCheckedAndSortedByOrder) {
  RecordingMaker processor;
  qv::Value first = workspaceDictionary("a", "A", {"One", 7, "Unknown", "Two"});
  first.set("Order", 1);
  qv::Value third = workspaceDictionary("c", "C");
  third.set("Order", 2);
  qv::Value second = workspaceDictionary("b", "B");
  second.set("Order", 3);
  auto sorted = QVWorkspaceService::workspacesByOrder({first, third, second}, processor.maker());
  ASSERT_EQ(sorted.size(), 3u);
  EXPECT_EQ(sorted[0]->identifier(), "b");
  EXPECT_EQ(sorted[1]->identifier(), "c");
  EXPECT_EQ(sorted[2]->identifier(), "a");
  EXPECT_EQ(processor.asked, (std::vector<std::string>{"One", "Unknown", "Two"}))
      << "entries that are no text are skipped";
  ASSERT_EQ(sorted[2]->subLayers().size(), 2u) << "identifiers the catalogue makes no layer for are left out";

  qv::Value wrong;
  wrong.set("Identifier", 5).set("Name", qv::Array{}).set("Expanded", "yes").set("Order", "9");
  QVWorkspace w(wrong);
  EXPECT_EQ(w.identifier(), "");
  EXPECT_EQ(w.name(), "");
  EXPECT_FALSE(w.expanded());
  EXPECT_EQ(w.order(), 0);
  wrong.set("Order", 1e12);
  EXPECT_EQ(QVWorkspace(wrong).order(), 0) << "Order is a 32-bit integer";
}

TEST_F(WorkspaceServiceTest, SerializeLeavesOutHiddenLayers) {
  auto w =
      QVWorkspaceService::createWithName("Trio", {plainLayer("One"), plainLayer("Two", true), plainLayer("Three")});
  EXPECT_TRUE(w->expanded());
  EXPECT_TRUE(w->editable());
  EXPECT_EQ(w->identifier().size(), 36u);
  qv::Value d = w->serialize();
  EXPECT_EQ(d["IdentifierLayers"], qv::Value(qv::Array{"One", "Three"}));
  EXPECT_EQ(d["Name"].asString(), "Trio");
  EXPECT_TRUE(d["Expanded"].isBool());
  EXPECT_TRUE(d["Order"].isInteger());
}

TEST_F(WorkspaceServiceTest, SavingAndDeletingNeverTouchAnotherWorkspacesFile) {
  auto studio = QVWorkspaceService::createWithName("Portrait/Studio", {plainLayer("One")});
  ASSERT_TRUE(QVWorkspaceService::save(*studio));
  EXPECT_EQ(files(), (std::vector<std::string>{"Portrait_Studio.vlws"}));
  EXPECT_EQ(read("Portrait_Studio.vlws")["Identifier"].asString(), studio->identifier());
  ASSERT_TRUE(QVWorkspaceService::save(*studio)) << "saving the same workspace again replaces its file";
  EXPECT_EQ(files().size(), 1u);

  // Another workspace of the same name is numbered instead of replacing the first one.
  auto other = QVWorkspaceService::createWithName("Portrait/Studio", {});
  ASSERT_TRUE(QVWorkspaceService::save(*other));
  EXPECT_EQ(other->name(), "Portrait/Studio 1");
  EXPECT_EQ(files(), (std::vector<std::string>{"Portrait_Studio 1.vlws", "Portrait_Studio.vlws"}));
  EXPECT_EQ(read("Portrait_Studio.vlws")["Identifier"].asString(), studio->identifier());

  auto unnamed = QVWorkspaceService::createWithName("", {});
  EXPECT_FALSE(QVWorkspaceService::save(*unnamed));

  // Deleting goes by name but only removes the workspace's own file.
  auto impostor = QVWorkspaceService::createWithName("Portrait/Studio", {});
  EXPECT_FALSE(QVWorkspaceService::deleteWorkspace(*impostor));
  EXPECT_TRUE(QVWorkspaceService::deleteWorkspace(*studio));
  EXPECT_EQ(files(), (std::vector<std::string>{"Portrait_Studio 1.vlws"}));
  EXPECT_FALSE(QVWorkspaceService::deleteWorkspace(*studio)) << "already gone";
}

TEST_F(WorkspaceServiceTest, LoadingRepairsDuplicateIdentifiersAndMismatchedNames) {
  write("A.vlws", workspaceDictionary("same", "A", {"One"}));
  write("B.vlws", workspaceDictionary("same", "B"));
  write("C.VLWS", workspaceDictionary("c", "Renamed"));
  qv::Value noIdentifier = workspaceDictionary("", "D");
  noIdentifier.set("Identifier", 42);
  write("D.vlws", noIdentifier);
  write("E.vlws", qv::Value(qv::Array{"not a dictionary"}));
  std::ofstream(folder_ + "/F.vlws") << "garbage";
  write("G.txt", workspaceDictionary("g", "G"));

  RecordingMaker processor;
  auto loaded = QVWorkspaceService::loadFromLocaleForProcessor(processor.maker());
  ASSERT_EQ(loaded.size(), 4u);
  EXPECT_EQ(loaded[0]->identifier(), "same");
  EXPECT_EQ(loaded[0]->subLayers().size(), 1u);
  EXPECT_NE(loaded[1]->identifier(), "same");
  EXPECT_EQ(read("B.vlws")["Identifier"].asString(), loaded[1]->identifier()) << "the new identifier is written back";
  EXPECT_EQ(loaded[2]->name(), "C");
  EXPECT_EQ(read("C.VLWS")["Name"].asString(), "C");
  EXPECT_EQ(read("C.VLWS")["Identifier"].asString(), "c");
  EXPECT_EQ(loaded[3]->name(), "D");
  EXPECT_EQ(read("D.vlws")["Identifier"].asString(), loaded[3]->identifier());
  EXPECT_FALSE(loaded[3]->identifier().empty());

  // A second load finds nothing left to repair.
  auto again = QVWorkspaceService::loadFromLocaleForProcessor(processor.maker());
  ASSERT_EQ(again.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(again[i]->identifier(), loaded[i]->identifier());
}

TEST_F(WorkspaceServiceTest, OldPropertyListsAreMigratedBesideTakenNames) {
  write("Studio.vlws", workspaceDictionary("s1", "Studio"));
  write("Studio.plist", workspaceDictionary("s2", "Studio"));
  write("Old.PLIST", workspaceDictionary("o", ""));
  qv::Value slash = workspaceDictionary("p", "Portrait/Night");
  write("whatever.plist", slash);

  auto loaded = QVWorkspaceService::loadFromLocaleForProcessor(nullptr);
  EXPECT_EQ(files(), (std::vector<std::string>{"Old.vlws", "Portrait_Night.vlws", "Studio 1.vlws", "Studio.vlws"}));
  EXPECT_EQ(read("Studio 1.vlws")["Identifier"].asString(), "s2") << "moved unchanged, then repaired on load";
  EXPECT_EQ(read("Studio 1.vlws")["Name"].asString(), "Studio 1");
  EXPECT_EQ(read("Old.vlws")["Name"].asString(), "Old");
  ASSERT_EQ(loaded.size(), 4u);
}

TEST_F(WorkspaceServiceTest, DefaultWorkspaceFallsBackToEmpty) {
  auto fallback = QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr);
  ASSERT_TRUE(fallback);
  EXPECT_EQ(fallback->identifier(), "empty");

  ASSERT_TRUE(QVWorkspaceService::saveDefaultWorkspaceByIdentifier("default"));
  EXPECT_EQ(QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr)->identifier(), "default");

  write("Mine.vlws", workspaceDictionary("mine", "Mine"));
  ASSERT_TRUE(QVWorkspaceService::saveDefaultWorkspaceByIdentifier("mine"));
  EXPECT_EQ(QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr)->name(), "Mine");

  ASSERT_TRUE(QVWorkspaceService::saveDefaultWorkspaceByIdentifier("deleted long ago"));
  EXPECT_EQ(QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr)->identifier(), "empty");

  qv::Value wrongType;
  wrongType.set("DefaultWorkspaceSince1_1_5", 3);
  ASSERT_TRUE(qv::PropertyList::writeFile(QVWorkspaceService::defaultWorkspacePlistPath(), wrongType));
  EXPECT_EQ(QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr)->identifier(), "empty");
}

TEST_F(WorkspaceServiceTest, LegacyDefaultSettingsMoveIntoTheDefaultFile) {
  qv::UserDefaults& defaults = qv::UserDefaults::standardUserDefaults();
  auto defaultFile = [] {
    return qv::PropertyList::readFile(QVWorkspaceService::defaultWorkspacePlistPath(),
                                      nullptr)["DefaultWorkspaceSince1_1_5"];
  };

  defaults.setObject("empty", "DefaultWorkspaceSince1_1_4");
  defaults.setObject("older", "DefaultWorkspace");
  EXPECT_EQ(QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr)->identifier(), "empty");
  EXPECT_TRUE(defaultFile().isNull()) << "the placeholder \"empty\" is not copied";
  EXPECT_FALSE(defaults.stringForKey("DefaultWorkspaceSince1_1_4")) << "but its key is removed";
  EXPECT_TRUE(defaults.stringForKey("DefaultWorkspace")) << "the older key waits for the next load";

  QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr);
  EXPECT_EQ(defaultFile().asString(), "older");
  EXPECT_FALSE(defaults.stringForKey("DefaultWorkspace"));

  defaults.setObject("default", "DefaultWorkspace");
  QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr);
  EXPECT_EQ(defaultFile().asString(), "older") << "the placeholder \"default\" is not copied";
  EXPECT_FALSE(defaults.stringForKey("DefaultWorkspace"));

  defaults.setObject("default", "DefaultWorkspaceSince1_1_4");
  EXPECT_EQ(QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr)->identifier(), "default");
}

TEST_F(WorkspaceServiceTest, WithoutAContainerOnlyShippedWorkspacesExist) {
  NSFileManagerContainerDirectory::configureWithContainerIdentifier("");
  EXPECT_EQ(QVWorkspaceService::workspacesPath(), "");
  auto w = QVWorkspaceService::createWithName("Nowhere", {});
  EXPECT_FALSE(QVWorkspaceService::save(*w));
  EXPECT_FALSE(QVWorkspaceService::saveDefaultWorkspaceByIdentifier("default"));
  EXPECT_TRUE(QVWorkspaceService::loadFromLocaleForProcessor(nullptr).empty());
  auto fallback = QVWorkspaceService::loadDefaultWorkspaceForProcessor(nullptr);
  NSFileManagerContainerDirectory::configureWithContainerIdentifier(QVAppGroupIdentifier());
  ASSERT_TRUE(fallback);
  EXPECT_EQ(fallback->identifier(), "empty");
}
