#pragma once
// The application's three sound cues: images added to the main window (drop), an export finished
// (complete), and an alert that needs the user (attention). The user silences all of them with one
// menu item; the setting ("kQVSolvaneSoundsDisabled") lives in the app-group suite, so the
// extension reads what the application wrote. It is read once per process.
//
// Sounds are our own (QVSoundSynthesis), written once into the caches folder and played through Qt
// Multimedia. Without an audio device (a server, Xvfb, a headless test) nothing plays and nothing
// fails: playback is best effort and never reports an error to the caller. A cue that is still
// playing is not restarted.
//
// Main thread only.
#include <QSoundEffect>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Ombrel/Classes/Application/SoundManager/QVSoundSynthesis.h"
#include "QVPlatform/UserDefaults.h"

inline constexpr const char* kQVSolvaneSoundsDisabledKey = "kQVSolvaneSoundsDisabled";

class QVSoundManager {
 public:
  static QVSoundManager& sharedManager();

  static void playDropSounds() { sharedManager().play(QVSoundCue::Drop); }
  static void playCompleteSounds() { sharedManager().play(QVSoundCue::Complete); }
  static void playAttentionSounds() { sharedManager().play(QVSoundCue::Attention); }
  static bool soundsDisabled() { return sharedManager().settingSoundsDisabled(); }
  static void setSoundsDisabled(bool disabled) { sharedManager().setSettingSoundsDisabled(disabled); }
  // The app-group suite: "<container identifier>.<bundle identifier>" without ".photoextension".
  static std::string suiteName();
  // A new handle on that suite on every call.
  static qv::UserDefaults userDefaults();

  bool settingSoundsDisabled() const { return settingSoundsDisabled_; }
  // Stores the value in the suite at once.
  void setSettingSoundsDisabled(bool disabled);

  // Plays a cue unless cues are disabled.
  void play(QVSoundCue cue);
  // The cue's sound object, made on first use and then reused (nullptr when its file cannot be
  // written).
  QSoundEffect* soundForCue(QVSoundCue cue);
  // The cue's file in the caches folder, written when missing; empty on failure.
  static std::string fileForCue(QVSoundCue cue);

  // Tests and tools: where played cues go instead of the audio device (empty restores it).
  using Player = std::function<void(QVSoundCue cue)>;
  static void setPlayer(Player player);
  // Reads the stored setting again (what a new process would see).
  void reloadSetting();

 private:
  QVSoundManager();
  bool settingSoundsDisabled_ = false;
  std::map<QVSoundCue, std::unique_ptr<QSoundEffect>> sounds_;
};
