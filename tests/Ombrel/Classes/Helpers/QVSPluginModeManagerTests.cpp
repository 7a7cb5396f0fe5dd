// The plug-in mode manager's reading of the command line: the launcher's flags, our own value
// arguments, the launcher's file-list mode, and the end of the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"
#include "common/TestSupport.h"

namespace {

using Pairs = QVSPluginModeManager::SavePairs;

struct ArgumentCase {
  const char* name;
  std::vector<std::string> arguments;  // after the program path
  bool pluginMode;
  int32_t owner;
  std::string imagePath, savePath, extras;
  Pairs pairs;
  std::vector<std::string> collection;
};

TEST(QVSPluginModeManager, ArgumentTable) {
  const auto dir = solvane::test::makeTempDir("plugin-arguments");
  const std::string photo = (dir / "photo.jpg").string();
  const std::string other = (dir / "other.jpg").string();
  for (const auto& file : {photo, other}) std::ofstream(file) << "x";
  const std::vector<ArgumentCase> cases = {
      {"nothing", {}, false, kQVPluginOwnerUnknown, "", "", "", {}, {}},
      {"the launcher's flags, last and without values",
       {"-QVImagePath", "/h/a.jpg", "-QVSavePath", "/h/a.tif", "-QVLightroomPluginOwner", "-QVPluginMode"},
       true,
       kQVPluginOwnerLightroom,
       "/h/a.jpg",
       "/h/a.tif",
       "",
       {},
       {"/h/a.jpg"}},
      {"photoshop wins over the flag the launcher always appends",
       {"-QVPhotoshopPluginOwner", "-QVImagePath", "/h/a.psd", "-QVLightroomPluginOwner", "-QVPluginMode"},
       true,
       kQVPluginOwnerPhotoshop,
       "/h/a.psd",
       "",
       "",
       {},
       {"/h/a.psd"}},
      {"plug-in mode without a host", {"-QVPluginMode"}, true, kQVPluginOwnerUnknown, "", "", "", {}, {}},
      {"pairs in their order; a repeated source keeps its place and takes the last target",
       {"-QVSavePair", "/h/b.jpg", "/o/b.tif", "-QVSavePair", "/h/a.jpg", "/o/a.tif", "-QVSavePair", "/h/b.jpg",
        "/o/b2.tif", "-QVExtrasPath", "/h/extras", "-QVPluginMode"},
       true,
       kQVPluginOwnerUnknown,
       "",
       "",
       "/h/extras",
       {{"/h/b.jpg", "/o/b2.tif"}, {"/h/a.jpg", "/o/a.tif"}},
       {"/h/b.jpg", "/h/a.jpg"}},
      {"the pairs are the host's images even with an image path",
       {"-QVImagePath", "/h/x.jpg", "-QVSavePair", "/h/a.jpg", "/o/a.jpg", "-QVPluginMode"},
       true,
       kQVPluginOwnerUnknown,
       "/h/x.jpg",
       "",
       "",
       {{"/h/a.jpg", "/o/a.jpg"}},
       {"/h/a.jpg"}},
      {"file-list mode: a plain existing file is the host image",
       {photo, "-QVLightroomPluginOwner", "-QVPluginMode"},
       true,
       kQVPluginOwnerLightroom,
       photo,
       "",
       "",
       {},
       {photo}},
      {"further plain files are left out; a missing path is not a file",
       {photo, other, "/no/such.jpg", "-QVPluginMode"},
       true,
       kQVPluginOwnerUnknown,
       photo,
       "",
       "",
       {},
       {photo}},
      {"-QVImagePath wins over a plain file",
       {photo, "-QVImagePath", "/h/a.jpg", "-QVPluginMode"},
       true,
       kQVPluginOwnerUnknown,
       "/h/a.jpg",
       "",
       "",
       {},
       {"/h/a.jpg"}},
      {"a value flag at the end has no value; a save path is never a host image",
       {"-QVPluginMode", "-QVSavePath", photo, "-QVImagePath"},
       true,
       kQVPluginOwnerUnknown,
       "",
       photo,
       "",
       {},
       {}},
      {"a pair missing its target is ignored",
       {"-QVPluginMode", "-QVSavePair", "/h/a.jpg"},
       true,
       kQVPluginOwnerUnknown,
       "",
       "",
       "",
       {},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QVSPluginModeManager manager;
    std::vector<std::string> arguments = {"/usr/bin/Solvane"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    manager.configureWithArguments(arguments);
    EXPECT_EQ(manager.isPluginMode(), c.pluginMode);
    EXPECT_EQ(manager.pluginOwner(), c.owner);
    EXPECT_EQ(manager.imagePath(), c.imagePath);
    EXPECT_EQ(manager.savePath(), c.savePath);
    EXPECT_EQ(manager.lightroomExtrasResPath(), c.extras);
    EXPECT_EQ(manager.pathsForSave(), c.pairs);
    EXPECT_EQ(manager.photoCollection(), c.collection);
  }
}

TEST(QVSPluginModeManager, TheFirstEndOfTheRunCountsAndANewCommandLineStartsAnother) {
  QVSPluginModeManager manager;
  manager.configureWithArguments({"Solvane", "-QVPluginMode"});
  EXPECT_EQ(manager.runState(), QVSPluginModeManager::RunState::Running);
  manager.applyPluginMode();
  manager.cancelPluginMode();
  EXPECT_EQ(manager.runState(), QVSPluginModeManager::RunState::Applied);
  manager.configureWithArguments({"Solvane", "-QVPluginMode"});
  manager.cancelPluginMode();
  EXPECT_EQ(manager.runState(), QVSPluginModeManager::RunState::Cancelled);
}

}  // namespace
