#pragma once
// A fake processor for the edit history: its whole editing state is one number, `live`, which
// it writes into state files and reads back.
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/PropertyList.h"

namespace historytest {

namespace fs = std::filesystem;

struct FakeDelegate : QVHistoryManagerDelegate {
  int64_t live = 0;
  bool failSave = false;
  bool failRestore = false;
  bool registerDuringRestore = false;
  std::string initialTextureName;  // written into states as the initial layer's texture
  std::optional<std::vector<std::string>> textures;
  std::vector<std::string> saved, restored, removed;

  static std::string statePath(QVHistoryManagerProtocol& m, const std::string& uuid) {
    return m.historyPath() + "/" + uuid + ".state";
  }
  void historyManagerSaveStateForHistoryWithUUID(QVHistoryManagerProtocol& m, const std::string& uuid,
                                                 Completion completion) override {
    saved.push_back(uuid);
    bool ok = !failSave;
    if (ok) {
      qv::Dictionary state{{"live", live}};
      if (!initialTextureName.empty())
        state["InitialLayerDictionary"] = qv::Dictionary{{"HistoryTextureName", initialTextureName}};
      ok = qv::PropertyList::writeFile(statePath(m, uuid), state);
    }
    if (completion) completion(ok);
  }
  void historyManagerRestoreStateForUUID(QVHistoryManagerProtocol& m, const std::string& uuid,
                                         Completion completion) override {
    restored.push_back(uuid);
    if (registerDuringRestore) m.registerHistoryWithActionName("Changed while restoring");
    qv::Value state = qv::PropertyList::readFile(statePath(m, uuid), nullptr);
    bool ok = !failRestore && state.isDictionary();
    if (ok) live = state["live"].asInt();
    completion(ok);
  }
  void historyManagerRemoveStateForUUID(QVHistoryManagerProtocol& m, const std::string& uuid) override {
    removed.push_back(uuid);
    std::error_code ec;
    fs::remove(statePath(m, uuid), ec);
  }
  std::optional<std::vector<std::string>> historyManagerAllTexturesFromStateUUID(QVHistoryManagerProtocol&,
                                                                                 const std::string&) override {
    return textures;
  }
};

inline void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// One pass of the main loop: registration opens again.
inline void nextPass() { qv::MainExecutor::shared().runUntilIdle(); }

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::MainExecutor::shared().discardPending();
    manager = std::make_shared<QVHistoryManager>();
    delegate = std::make_shared<FakeDelegate>();
    manager->setDelegate(delegate);
  }
  void TearDown() override {
    manager.reset();
    qv::MainExecutor::shared().discardPending();
  }

  // Registers an action the way the model does (before the change), applies the change and ends
  // the pass.
  void edit(const std::string& name, int64_t value, const qv::Value& info = {}) {
    if (info.isNull())
      manager->registerHistoryWithActionName(name);
    else
      manager->registerHistoryWithActionNameAdditionalInfo(name, info);
    delegate->live = value;
    nextPass();
  }
  std::string stepName(size_t index) const { return manager->historyDictsArray()[index]["actionName"].asString(); }
  std::string stepUuid(size_t index) const { return manager->historyDictsArray()[index]["uuid"].asString(); }
  bool stateExists(const std::string& uuid) { return fs::exists(FakeDelegate::statePath(*manager, uuid)); }

  std::shared_ptr<QVHistoryManager> manager;
  std::shared_ptr<FakeDelegate> delegate;
};

}  // namespace historytest
