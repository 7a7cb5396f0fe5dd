#pragma once
// Where the model makes objects of services that other subsystems implement (layer masks,
// clone-and-stamp processors): the implementing subsystem registers a maker once at start-up, and
// the model asks the factory. Thread-safe.
#include <functional>
#include <memory>
#include <mutex>
#include <typeinfo>

#include "QVPlatform/Log.h"

template <class Interface, class... Args>
class QVServiceFactory {
 public:
  using Maker = std::function<std::shared_ptr<Interface>(Args...)>;

  // Replaces the maker; an empty one removes it.
  static void registerMaker(Maker maker) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().maker = std::move(maker);
  }
  static bool hasMaker() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return bool(state().maker);
  }
  // A new object; nullptr (logged) while no maker is registered.
  static std::shared_ptr<Interface> make(Args... args) {
    Maker maker;
    {
      std::lock_guard<std::mutex> lock(state().mutex);
      maker = state().maker;
    }
    if (!maker) {
      QVLogError("No maker registered for %s", typeid(Interface).name());
      return nullptr;
    }
    return maker(std::forward<Args>(args)...);
  }

 private:
  struct State {
    std::mutex mutex;
    Maker maker;
  };
  static State& state() {
    static State s;
    return s;
  }
};
