#pragma once
// The one instance of a process-wide class, made on first use (thread-safe) and never destroyed,
// so blocks still queued at exit never meet a destroyed instance.
#include "QVPlatform/Log.h"

template <class T>
T& qvSingleton(const char* className) {
  static T* instance = [className] {
    auto* made = new T();
    QVLog(64, "Singleton created %s", className);
    return made;
  }();
  return *instance;
}
