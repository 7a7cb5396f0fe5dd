// The layers below the widget stand-ins must build and run without Qt: neither this test program
// (which links QVPlatform and the engine) nor the core framework's shared library may pull a Qt
// library in.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> loadedLibraries() {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name ? info->dlpi_name : "");
        return 0;
      },
      &names);
  return names;
}

void expectNoQt() {
  for (const auto& name : loadedLibraries())
    EXPECT_EQ(std::filesystem::path(name).filename().string().rfind("libQt", 0), std::string::npos) << name;
}

}  // namespace

TEST(Linkage, NoQtBelowTheWidgetLayer) {
  expectNoQt();
  // The core framework's library sits beside this program's folder in the build tree.
  auto core = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "QVCore" / "libQVCore.so";
  if (!std::filesystem::exists(core)) GTEST_SKIP() << "no " << core;
  void* handle = dlopen(core.c_str(), RTLD_LAZY | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  expectNoQt();
  dlclose(handle);
}
