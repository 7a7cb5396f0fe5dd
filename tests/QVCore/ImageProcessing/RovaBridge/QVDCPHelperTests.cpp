#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/ImageProcessing/RovaBridge/QVDCPHelper.h"
#include "QVPlatform/Places.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;  // (path relative to its root, name)

Entries relative(const qv::Array& list, const std::string& root) {
  Entries out;
  for (auto& e : list)
    out.emplace_back(fs::relative(e[kQVDCPPathKey].asString(), root).string(), e[kQVDCPNameKey].asString());
  return out;
}

class QVDCPHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(QVDCPHelper::systemApplicationSupportDirectory());
    fs::remove_all(qv::places::groupContainerDirectory() + "/CameraProfiles");
    fs::remove(QVDCPHelper::defaultDCPsPath());
    QVDCPHelper::reloadUserDCPs();
  }
  void TearDown() override { SetUp(); }
  std::string installSystemProfiles() {
    const fs::path root = fs::path(QVDCPHelper::systemApplicationSupportDirectory()) / "Adobe/CameraRaw/CameraProfiles";
    fs::create_directories(root.parent_path());
    fs::copy(solvane::test::dataDir() / "pipeline" / "CameraProfiles", root, fs::copy_options::recursive);
    return root.string();
  }
};

TEST_F(QVDCPHelperTest, SystemProfilesOfACamera) {
  EXPECT_FALSE(QVDCPHelper::systemDCPsPath());
  EXPECT_FALSE(QVDCPHelper::getSystemDCPsForCameraName("Canon", "EOS 5D Mark III"));
  const std::string root = installSystemProfiles();
  ASSERT_EQ(QVDCPHelper::systemDCPsPath(), root);

  auto canon = QVDCPHelper::getSystemDCPsForCameraName("Canon", "EOS 5D Mark III");
  ASSERT_TRUE(canon);
  EXPECT_EQ(relative(*canon, root),
            (Entries{{"Adobe Standard/Canon EOS 5D Mark III Adobe Standard.dcp", "Adobe Standard"},
                     {"Adobe Standard/Canon EOS 5D Mark III Camera Default.dcp", "Camera Default"},
                     {"Camera/Canon EOS 5D Mark III/Canon EOS 5D Mark III Camera Faithful.dcp", "Camera Faithful"},
                     {"Camera/Canon EOS 5D Mark III/Landscape.DCP", "Landscape.DCP"}}));

  auto nikon = QVDCPHelper::getSystemDCPsForCameraName("NIKON", "D750");
  ASSERT_TRUE(nikon);
  EXPECT_EQ(relative(*nikon, root), (Entries{{"Adobe Standard/Nikon D750 Adobe Standard.dcp", "Adobe Standard"},
                                             {"Camera/Nikon D750/Nikon D750 Camera Standard.dcp", "Camera Standard"}}));
  EXPECT_TRUE(QVDCPHelper::getSystemDCPsForCameraName("Leica", "M10")->empty());
  EXPECT_FALSE(QVDCPHelper::getSystemDCPsForCameraName("", "EOS 5D Mark III"));
}

TEST_F(QVDCPHelperTest, NamesOfProfiles) {
  EXPECT_EQ(QVDCPHelper::dcpNameWithPrefix("Camera", "Foo Camera Vivid.dcp"), "Camera Vivid");
  EXPECT_EQ(QVDCPHelper::dcpNameWithPrefix("Camera", "Camera One Camera Two.dcp"), "Camera Two");
  EXPECT_EQ(QVDCPHelper::dcpNameWithPrefix("Camera", "Landscape.DCP"), "Landscape.DCP");
  EXPECT_EQ(QVDCPHelper::dcpNameWithPrefix("camera", "Foo Camera Vivid.dcp"), "Foo Camera Vivid.dcp");
  EXPECT_EQ(QVDCPHelper::canonizeCameraName("Canon", ""), QVDCPHelper::canonizeCameraName("canon", ""));
  EXPECT_FALSE(QVDCPHelper::canonizeCameraName("", "D750"));
}

TEST_F(QVDCPHelperTest, UserFolderCopiesReplaceAndRefreshTheList) {
  auto folder = QVDCPHelper::userDCPsPath();
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, qv::places::groupContainerDirectory() + "/CameraProfiles");
  EXPECT_TRUE(QVDCPHelper::userDCPs().empty());

  const std::string source =
      (solvane::test::dataDir() / "pipeline/CameraProfiles/Camera/Nikon D750/Nikon D750 Camera Standard.dcp").string();
  auto copy = QVDCPHelper::copyDcpAtPath(source, "Mine");
  ASSERT_TRUE(copy);
  EXPECT_EQ(*copy, *folder + "/Mine.dcp");
  EXPECT_EQ(QVDCPHelper::userDCPs().size(), 1u);
  std::ofstream(*folder + "/Other.DcP") << "x";
  std::ofstream(*folder + "/notes.txt") << "x";
  EXPECT_EQ(relative(QVDCPHelper::userDCPs(), *folder), (Entries{{"Mine.dcp", "Mine"}}));  // kept until reloaded
  QVDCPHelper::reloadUserDCPs();
  EXPECT_EQ(relative(QVDCPHelper::userDCPs(), *folder), (Entries{{"Mine.dcp", "Mine"}, {"Other.DcP", "Other"}}));

  std::ofstream(*folder + "/Mine.dcp") << "old";
  ASSERT_TRUE(QVDCPHelper::copyDcpAtPath(source, "Mine"));
  std::ifstream in(*folder + "/Mine.dcp");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "fixture profile\n");
  EXPECT_EQ(QVDCPHelper::userDCPs().size(), 2u);
  EXPECT_FALSE(QVDCPHelper::copyDcpAtPath(source + ".missing", "Gone"));
}

TEST_F(QVDCPHelperTest, DefaultProfilePerCamera) {
  EXPECT_TRUE(QVDCPHelper::getDefaultDcpInfoForCameraName("Canon", "EOS 5D Mark III").isNull());
  qv::Value description = qv::Dictionary{{"QVParameterOptionalDataPathKey", qv::Value("/p/a.dcp")},
                                         {"QVParameterOptionalDataOrigFileNameKey", qv::Value("a.dcp")}};
  QVDCPHelper::setAsDefaultDcpInfo(description, "Canon", "EOS 5D Mark III");
  EXPECT_TRUE(fs::exists(QVDCPHelper::defaultDCPsPath()));
  EXPECT_EQ(QVDCPHelper::getDefaultDcpInfoForCameraName("CANON", "EOS-5D Mark III"), description);
  EXPECT_TRUE(QVDCPHelper::getDefaultDcpInfoForCameraName("Canon", "EOS R").isNull());

  QVDCPHelper::setAsDefaultDcpInfo(description, "", "EOS R");
  QVDCPHelper::setAsDefaultDcpInfo(qv::Value(), "Nikon", "D750");
  EXPECT_TRUE(QVDCPHelper::getDefaultDcpInfoForCameraName("", "EOS R").isNull());
  EXPECT_TRUE(QVDCPHelper::getDefaultDcpInfoForCameraName("Nikon", "D750").isNull());
}

}  // namespace
