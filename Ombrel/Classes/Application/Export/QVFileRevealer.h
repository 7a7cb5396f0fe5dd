#pragma once
// Shows exported files in the desktop's file manager. The desktop's own asks the file manager
// over D-Bus to show the files selected (org.freedesktop.FileManager1.ShowItems); when no file
// manager answers, the folder of the first file is opened with the desktop's default program, and
// when no program opens it either an alert gives the folder.
// Tests install a fake.
//
// Main thread only.
#include <memory>
#include <string>
#include <vector>

class QVFileRevealer {
 public:
  virtual ~QVFileRevealer() = default;
  virtual void revealFiles(const std::vector<std::string>& paths) = 0;

  // The one in use (the desktop's unless one was set; nullptr restores it).
  static std::shared_ptr<QVFileRevealer> shared();
  static void setShared(std::shared_ptr<QVFileRevealer> revealer);
};

class QVDesktopFileRevealer : public QVFileRevealer {
 public:
  void revealFiles(const std::vector<std::string>& paths) override;
  // "file://" URIs of the paths, percent-encoded.
  static std::vector<std::string> fileURIs(const std::vector<std::string>& paths);
};
