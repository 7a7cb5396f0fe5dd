#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"

#include <gtest/gtest.h>

namespace {

// A name the user typed against the type chosen beside it: a known extension wins (any spelling
// and case), any other name gets the chosen type's extension and says it was renamed.
TEST(QVExportFileTypes, SaveTargetFollowsAKnownExtensionElseAddsTheChosenOne) {
  struct Case {
    const char* typed;
    const char* chosen;
    const char* path;
    const char* type;
    bool renamed;
  } cases[] = {
      {"/p/x.tif", kQVExportTypeJPEG, "/p/x.tif", kQVExportTypeTIFF, false},
      {"/p/x.TIFF", kQVExportTypePNG, "/p/x.TIFF", kQVExportTypeTIFF, false},
      {"/p/x.jpg", kQVExportTypePNG, "/p/x.jpg", kQVExportTypeJPEG, false},
      {"/p/x.JPE", kQVExportTypeTIFF, "/p/x.JPE", kQVExportTypeJPEG, false},
      {"/p/x.png", kQVExportTypePNG, "/p/x.png", kQVExportTypePNG, false},
      {"/p/x.jp2", kQVExportTypeJPEG, "/p/x.jp2", kQVExportTypeJPEG2000, false},
      {"/p/x.webp", kQVExportTypeJPEG, "/p/x.webp", kQVExportTypeWebP, false},
      {"/p/x.jpeg", kQVExportTypeJPEG, "/p/x.jpeg", kQVExportTypeJPEG, false},
      // Names no writer knows keep the chosen type under its own extension.
      {"/p/x.foo", kQVExportTypePNG, "/p/x.foo.png", kQVExportTypePNG, true},
      {"/p/x.gif", kQVExportTypeJPEG, "/p/x.gif.jpeg", kQVExportTypeJPEG, true},
      {"/p/x.tif.bak", kQVExportTypeTIFF, "/p/x.tif.bak.tiff", kQVExportTypeTIFF, true},
      {"/p/x", kQVExportTypeJPEG2000, "/p/x.jp2", kQVExportTypeJPEG2000, true},
      // A chosen type without an extension of ours leaves the name alone.
      {"/p/x.foo", "com.example.unknown", "/p/x.foo", "com.example.unknown", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const auto target = QVExportFileTypes::saveTargetForName(c.typed, c.chosen);
    EXPECT_EQ(target.path, c.path);
    EXPECT_EQ(target.type, c.type);
    EXPECT_EQ(target.renamed, c.renamed);
  }
}

}  // namespace
