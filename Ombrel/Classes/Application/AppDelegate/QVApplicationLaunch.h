#pragma once
// Start-up shared by the desktop program and the tools that run it whole: the process-wide
// services the windows use (window icon, fonts, style, the main executor on Qt's loop, plug-in
// mode from the arguments, the engine, the alerts as message boxes), then the application delegate,
// listening for later invocations (not in a plug-in run, whose photos are the host's), and launching
// (the files given, or the open window).
#include <memory>
#include <string>
#include <vector>

class QVAppDelegate;
class QVApplication;
class QVSingleInstance;

std::shared_ptr<QVAppDelegate> QVLaunchApplication(QVApplication& app, const std::vector<std::string>& arguments,
                                                   std::vector<std::string> paths, QVSingleInstance& instance);
