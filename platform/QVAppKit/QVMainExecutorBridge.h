#pragma once
// Bridges the platform layer's main executor into Qt's event loop, so the application has one main
// thread and one loop: work queued on the main queue from any thread wakes the loop, runs in a
// pass of `MainExecutor::runPending()` and the next deadline arms a single-shot timer.
class QObject;
class QTimer;

class QVMainExecutorBridge {
 public:
  // Installs the bridge (once; later calls do nothing). Needs the Qt application object and must
  // be called on the main thread.
  static void install();
  // Removes it again (the executor then waits for a driver or a hand pump).
  static void uninstall();
  static bool isInstalled();
};
