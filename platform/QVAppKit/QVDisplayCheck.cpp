#include "QVAppKit/QVDisplayCheck.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char* variable(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// A message of Qt's held back while the application object is made, with the parts of its context
// that outlive the call.
struct Held {
  QtMsgType type;
  std::string category, file, function;
  int line;
  QString message;
};

struct State {
  bool active = false;
  std::string program;
  int status = 1;
  QtMessageHandler previous = nullptr;
  std::vector<Held> held;
};

State& state() {
  static State s;
  return s;
}

void startUpHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  State& s = state();
  if (type != QtFatalMsg) {
    s.held.push_back({type, context.category ? context.category : "", context.file ? context.file : "",
                      context.function ? context.function : "", context.line, message});
    return;
  }
  const std::string line = s.program + ": " + QVDisplayCheck::reason() + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(nullptr);
  std::_Exit(s.status);
}

}  // namespace

namespace QVDisplayCheck {

bool environmentNamesDisplay() {
  return variable("QT_QPA_PLATFORM") || variable("DISPLAY") || variable("WAYLAND_DISPLAY");
}

std::string reason() {
  if (!environmentNamesDisplay()) return "no display to show windows on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
  std::string named;
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    if (const char* value = variable(name)) named += std::string(named.empty() ? "" : ", ") + name + "=" + value;
  }
  return "no display could be reached (" + named + ")";
}

StartUp::StartUp(std::string program, int status) {
  State& s = state();
  s.active = true;
  s.program = std::move(program);
  s.status = status;
  s.held.clear();
  s.previous = qInstallMessageHandler(startUpHandler);
}

StartUp::~StartUp() { done(); }

void StartUp::done() {
  State& s = state();
  if (!s.active) return;
  s.active = false;
  qInstallMessageHandler(s.previous);
  std::vector<Held> held;
  held.swap(s.held);
  for (const Held& m : held) {
    const QMessageLogContext context(m.file.c_str(), m.line, m.function.c_str(), m.category.c_str());
    qt_message_output(m.type, context, m.message);
  }
}

}  // namespace QVDisplayCheck
