// Prints what this build of Solvane is made of. Stands in for the application until its
// window exists.
#include <cstdio>

#include "QVCore/Common/QVCoreVersion.h"
#include "rova/Version.h"

int main() {
  std::printf("Solvane core framework %s, engine %s\n", QVCoreVersionString(), rova::versionString());
  return 0;
}
