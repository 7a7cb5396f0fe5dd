#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundSynthesis.h"
#include "QVPlatform/Places.h"

namespace {

class QVSoundManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QVSoundManager::setPlayer([this](QVSoundCue cue) { played.push_back(cue); });
  }
  void TearDown() override {
    QVSoundManager::setPlayer(nullptr);
    QVSoundManager::setSoundsDisabled(false);
  }
  std::vector<QVSoundCue> played;
};

TEST_F(QVSoundManagerTest, AMissingKeyPlaysAndTheSwitchSilencesEveryCue) {
  auto defaults = QVSoundManager::userDefaults();
  defaults.removeObjectForKey(kQVSolvaneSoundsDisabledKey);
  QVSoundManager::sharedManager().reloadSetting();
  EXPECT_FALSE(QVSoundManager::soundsDisabled());
  QVSoundManager::playDropSounds();
  QVSoundManager::playCompleteSounds();
  QVSoundManager::playAttentionSounds();
  EXPECT_EQ(played, (std::vector<QVSoundCue>{QVSoundCue::Drop, QVSoundCue::Complete, QVSoundCue::Attention}));
  QVSoundManager::setSoundsDisabled(true);
  QVSoundManager::playDropSounds();
  QVSoundManager::playAttentionSounds();
  EXPECT_EQ(played.size(), 3u);
}

TEST_F(QVSoundManagerTest, TheSettingLivesInTheGroupSuiteAndIsReadAtStart) {
  QVSoundManager::setSoundsDisabled(true);
  // Another process (the extension) reading the suite sees it.
  EXPECT_TRUE(qv::UserDefaults(QVSoundManager::suiteName()).boolForKey(kQVSolvaneSoundsDisabledKey));
  EXPECT_EQ(QVSoundManager::suiteName().find(".photoextension"), std::string::npos);
  auto defaults = QVSoundManager::userDefaults();
  defaults.setBool(false, kQVSolvaneSoundsDisabledKey);
  EXPECT_TRUE(QVSoundManager::soundsDisabled());  // read once per process
  QVSoundManager::sharedManager().reloadSetting();
  EXPECT_FALSE(QVSoundManager::soundsDisabled());
}

TEST_F(QVSoundManagerTest, CuesAreShortAudibleWaveFilesMadeOnceAndReused) {
  for (QVSoundCue cue : {QVSoundCue::Drop, QVSoundCue::Complete, QVSoundCue::Attention}) {
    const auto samples = QVSoundSynthesis::samplesForCue(cue);
    const double seconds = double(samples.size()) / QVSoundSynthesis::kSampleRate;
    EXPECT_GT(seconds, 0.2);
    EXPECT_LT(seconds, 0.8);
    float peak = 0;
    for (float s : samples) peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 0.5f, 0.01f);
    // Silent start and end: no click.
    EXPECT_LT(std::fabs(samples.front()), 0.01f);
    EXPECT_LT(std::fabs(samples.back()), 0.01f);

    const auto wav = QVSoundSynthesis::wavFileFromSamples(samples);
    ASSERT_EQ(wav.size(), 44 + samples.size() * 2);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);

    const std::string file = QVSoundManager::fileForCue(cue);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.rfind(qv::places::cachesDirectory(), 0), 0u);
    EXPECT_EQ(std::filesystem::file_size(file), wav.size());
    QSoundEffect* sound = QVSoundManager::sharedManager().soundForCue(cue);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(QVSoundManager::sharedManager().soundForCue(cue), sound);
  }
}

// Without an audio device a cue is not even prepared (no file, no sound object); with one, the
// cue's sound is made and started.
TEST_F(QVSoundManagerTest, WithoutAnAudioDevicePlayingDoesNothingAndFailsNothing) {
  QVSoundManager::setPlayer(nullptr);
  QVSoundManager::setSoundsDisabled(false);
  const bool device = !QMediaDevices::audioOutputs().isEmpty();
  const std::string file = QVSoundManager::fileForCue(QVSoundCue::Attention);
  ASSERT_FALSE(file.empty());
  std::filesystem::remove(file);
  QVSoundManager::playAttentionSounds();
  QVSoundManager::playAttentionSounds();
  if (!device) {
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing prepared for a device that is not there";
  } else {
    QSoundEffect* sound = QVSoundManager::sharedManager().soundForCue(QVSoundCue::Attention);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->source().toLocalFile().toStdString(), file);
  }
}

}  // namespace
