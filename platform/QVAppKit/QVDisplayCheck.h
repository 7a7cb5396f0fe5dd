#pragma once
// A program's start without a display. Qt ends a process that cannot reach a display (or start its
// platform plug-in) with an abort (status 134) and a hint to reinstall; our programs say in one line
// that there is no display, and end with a status of their own.
//
//   QVDisplayCheck::StartUp startUp("Solvane", 1);   // before the application object
//   QVApplication app(argc, argv);
//   startUp.done();                                   // once it is made
//
// Qt's own messages while the application object is made are held back and passed on by `done`, so
// a start that fails prints that one line only. Compiled into programs that link none of the
// toolkit (the launcher): Qt Core only.
//
// Main thread only; one start-up at a time.
#include <string>

namespace QVDisplayCheck {

// The environment names a platform (QT_QPA_PLATFORM) or a display (DISPLAY, WAYLAND_DISPLAY) that
// Qt could start on. Without one (a login over SSH, a service) no window can be shown.
bool environmentNamesDisplay();
// Why no display could be had, from the environment, for the one line: no display named, or the
// one named and not reached.
std::string reason();

class StartUp {
 public:
  // `program` starts the line ("Solvane: no display ..."); `status` is the process's exit status then.
  StartUp(std::string program, int status);
  ~StartUp();
  StartUp(const StartUp&) = delete;
  StartUp& operator=(const StartUp&) = delete;
  // The application object is made: Qt's handler back, the messages held meanwhile passed on.
  void done();
};

}  // namespace QVDisplayCheck
