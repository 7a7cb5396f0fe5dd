#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QUrl>
#include <filesystem>

#include "QVCore/Common/QVCoreStartup.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/Places.h"

namespace {

QVSoundManager::Player& player() {
  static QVSoundManager::Player p;
  return p;
}

bool hasAudioOutput() {
  // Asked each time: a device may come (or go) while the program runs.
  return !QMediaDevices::audioOutputs().isEmpty();
}

}  // namespace

QVSoundManager& QVSoundManager::sharedManager() {
  static QVSoundManager* manager = new QVSoundManager();  // lives until exit, like the audio objects it owns
  return *manager;
}

QVSoundManager::QVSoundManager() { reloadSetting(); }

std::string QVSoundManager::suiteName() { return QVAppGroupIdentifier(); }

qv::UserDefaults QVSoundManager::userDefaults() { return qv::UserDefaults(suiteName()); }

void QVSoundManager::reloadSetting() {
  settingSoundsDisabled_ = userDefaults().objectForKey(kQVSolvaneSoundsDisabledKey).asBool(false);
}

void QVSoundManager::setSettingSoundsDisabled(bool disabled) {
  settingSoundsDisabled_ = disabled;
  auto defaults = userDefaults();
  defaults.setObject(qv::Value(disabled), kQVSolvaneSoundsDisabledKey);
  defaults.synchronize();
}

void QVSoundManager::setPlayer(Player p) { player() = std::move(p); }

std::string QVSoundManager::fileForCue(QVSoundCue cue) {
  const std::string path = qv::places::cachesDirectory() + "/Sounds/" + QVSoundSynthesis::fileNameForCue(cue);
  // Only our own regular file is played; anything else at the name (a link, a FIFO) is replaced.
  if (qv::entryAt(path).isRegular()) return path;
  const auto bytes = QVSoundSynthesis::wavFileFromSamples(QVSoundSynthesis::samplesForCue(cue));
  qv::Error error;
  if (!qv::writeFileAtomically(path, bytes.data(), bytes.size(), &error)) {
    QVLogWarning("cannot write the sound %s: %s", path.c_str(), error.description.c_str());
    return {};
  }
  return path;
}

QSoundEffect* QVSoundManager::soundForCue(QVSoundCue cue) {
  if (auto it = sounds_.find(cue); it != sounds_.end()) return it->second.get();
  const std::string file = fileForCue(cue);
  if (file.empty()) return nullptr;
  auto sound = std::make_unique<QSoundEffect>();
  sound->setSource(QUrl::fromLocalFile(QString::fromStdString(file)));
  sound->setVolume(0.6f);
  return (sounds_[cue] = std::move(sound)).get();
}

void QVSoundManager::play(QVSoundCue cue) {
  if (settingSoundsDisabled_) return;
  if (auto& p = player()) {
    p(cue);
    return;
  }
  if (!hasAudioOutput()) {
    QVLog(1, "no audio output: the sound \"%s\" is not played", QVSoundSynthesis::soundNameForCue(cue).c_str());
    return;
  }
  QSoundEffect* sound = soundForCue(cue);
  if (!sound || sound->isPlaying()) return;
  sound->play();
}
