// SolvaneBriskoBridge: started by a host application's plug-in, it starts Solvane in plug-in mode
// (see QVLauncherMain.h for the command line). Its status is 0 on every path: hosts rely on it.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QStyleFactory>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>

#include "QVAppKit/QVDisplayCheck.h"
#include "QVAppKit/QVFonts.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVAlert.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncher.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncherMain.h"

namespace {

// The alert runs in a child process: Qt ends a process whose display cannot be reached (or whose
// platform plug-in fails) with an abort, and that must never be the launcher's status. The
// launcher waits for the child and reports how it ended.
void showAlert(int argc, char** argv, const std::string& title, const std::string& message) {
  // Qt ends the process when it cannot reach a display; the launcher must still end with 0.
  if (!QVDisplayCheck::environmentNamesDisplay()) {
    std::cerr << "Error: no display for the alert\n";
    return;
  }
  std::cout.flush();
  std::cerr.flush();
  const pid_t host = ::getppid();
  const pid_t child = ::fork();
  if (child < 0) {
    std::cerr << "Error: the alert could not be shown: " << std::strerror(errno) << "\n";
    return;
  }
  if (child == 0) {
    // An abort of Qt's leaves no core file behind, and the alert goes with the launcher when a
    // host stops it.
    const struct rlimit noCore { 0, 0 };
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    QVAlert::setHostProcessId(host);
    {
      QApplication application(argc, argv);
      if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(fusion);
      QVFonts::loadOnce();
      QVAlert alert;
      alert.setTitle(title);
      alert.setMessage(message);
      alert.run();
    }
    std::cout.flush();
    std::cerr.flush();
    ::_exit(0);
  }
  int status = 0;
  pid_t waited;
  while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  if (waited < 0) {
    std::cerr << "Error: the alert could not be shown: " << std::strerror(errno) << "\n";
  } else if (WIFSIGNALED(status)) {
    std::cerr << "Error: the alert could not be shown (no display could be reached; it ended with signal "
              << WTERMSIG(status) << ")\n";
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    std::cerr << "Error: the alert could not be shown (it ended with status " << WEXITSTATUS(status) << ")\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A host that closed our output must not turn the status into a signal's.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    QVLauncher launcher;
    QVLauncherServices services;
    services.launch = [&launcher](const std::string& url, const std::vector<std::string>& arguments, bool wait,
                                  bool silent) {
      return launcher.launchApplicationAtURL(url, arguments, wait, silent);
    };
    services.alert = [argc, argv](const std::string& title, const std::string& message) {
      showAlert(argc, argv, title, message);
    };
    services.targetedAppURL = [] { return QVLauncher::targetedAppURL(); };
    services.out = &std::cout;
    services.err = &std::cerr;
    return QVLauncherMain(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), services);
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << "\n";
  } catch (...) {
    std::cerr << "Error: unexpected failure\n";
  }
  return 0;
}
