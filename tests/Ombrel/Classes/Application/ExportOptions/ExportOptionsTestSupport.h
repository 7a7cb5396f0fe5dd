#pragma once
// What the export options' tests share: the user's hand on the quality slider.
#include "QVAppKit/QVSliderView.h"
#include "tests/platform/QVAppKit/MouseTestSupport.h"

namespace export_options_test {

// Drags the slider's knob to a value as the user does: press on the knob, move, release.
inline void dragSliderTo(QVSliderView* slider, double value) {
  slider->layoutSubtreeIfNeeded();
  auto at = [slider](double v) {
    return slider->qtPointFromPoint(CGPointMake(slider->locationForValue(v), CGRectGetMidY(slider->barRect())));
  };
  mouse_test::press(slider, at(slider->value()));
  mouse_test::drag(slider, at(value));
  mouse_test::release(slider, at(value));
}

}  // namespace export_options_test

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"
#include "common/TestSupport.h"

namespace export_options_test {

// The alerts of the preset list, answered by script: delete asks (true for OK), and a failed save.
class PresetAlerts : public QVSolvaneAlertsPresenter {
 public:
  bool deleteAnswer = true;
  std::vector<std::string> deleteAsked, notSaved;
  void showAllertNotSupportExtension(const std::string&) override {}
  void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>&) override {}
  void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>&) override {}
  bool showAlertDeleteBatchPresetWithName(const std::string& name) override {
    deleteAsked.push_back(name);
    return deleteAnswer;
  }
  void showAlertBatchPresetNotSavedWithName(const std::string& name) override { notSaved.push_back(name); }
};

// A store in a folder of the test's own: shipped presets "JPEG" (uuid D1) and "PNG" (D2), user
// presets as the test writes them, the interim file, and no remembered selection.
class PresetStoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root = solvane::test::makeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    shipped = root / "shipped";
    user = root / "group" / "BatchPresets";
    interim = root / "group" / "Interim.plist";
    std::filesystem::create_directories(shipped);
    std::filesystem::create_directories(user);
    qv::UserDefaults::standardUserDefaults().removeObjectForKey(kQVLastPresetSelectedUUIDKey);
    QVSolvaneAlerts::setPresenter(alerts);
  }
  void TearDown() override {
    QVSolvaneAlerts::setPresenter(nullptr);
    qv::UserDefaults::standardUserDefaults().removeObjectForKey(kQVLastPresetSelectedUUIDKey);
  }
  static qv::Value presetDictionary(int64_t type, const std::string& uuid, const char* exportType = "public.jpeg") {
    return qv::Dictionary{{"preset type", type},
                          {"version", 1},
                          {"uuid", uuid},
                          {"format", qv::Dictionary{{"export type", exportType}, {"quality", 0.8}}}};
  }
  void write(const std::filesystem::path& file, const qv::Value& dictionary) {
    ASSERT_TRUE(qv::PropertyList::writeFile(file.string(), dictionary));
  }
  void writeShipped() {
    write(shipped / "JPEG.plist", presetDictionary(1, "D1"));
    write(shipped / "PNG.plist", presetDictionary(1, "D2", "public.png"));
  }
  std::shared_ptr<QVBatchPresetManager> makeStore() {
    return QVBatchPresetManager::initWithDefaultPresetsPath(shipped.string(), user.string(), interim.string());
  }
  std::vector<std::string> userFiles() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(user)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::filesystem::path root, shipped, user, interim;
  std::shared_ptr<PresetAlerts> alerts = std::make_shared<PresetAlerts>();
};

}  // namespace export_options_test
