#include "Ombrel/Classes/Business/Batch/QVExportSettingsDatasourceManager.h"

#include <gtest/gtest.h>

#include "QVPlatform/ImageIO/ImageIO.h"

namespace {

TEST(QVExportSettingsDatasourceManager, SaveTypesLeaveOutWhatWeNeverOffer) {
  auto types = QVExportSettingsDatasourceManager::saveTypesFromIdentifiers(
      {"public.heic", "public.jpeg", "com.compuserve.gif", "public.png", "com.microsoft.bmp", "public.tiff",
       "public.jpeg-2000", "com.example.new-format", "com.ilm.openexr-image"});
  EXPECT_EQ(types, (std::vector<QVSaveTypeSetting>{{"public.jpeg", "JPEG"},
                                                   {"public.png", "PNG"},
                                                   {"public.tiff", "TIFF"},
                                                   {"public.jpeg-2000", "JPEG 2000"},
                                                   {"com.example.new-format", "com.example.new-format"}}));

  // The shared tables follow the image writer, in its order.
  auto& shared = QVExportSettingsDatasourceManager::shared();
  std::vector<std::string> identifiers;
  for (const auto& t : shared.saveTypes()) identifiers.push_back(t.identifier);
  std::vector<std::string> writable;
  for (const auto& t :
       QVExportSettingsDatasourceManager::saveTypesFromIdentifiers(CGImageDestinationCopyTypeIdentifiers()))
    writable.push_back(t.identifier);
  EXPECT_EQ(identifiers, writable);
  EXPECT_EQ(shared.saveTypeIdentifierForTitle("jpeg"), "public.jpeg");
  EXPECT_EQ(shared.saveTypeIdentifierForTitle("Png"), "public.png");
  EXPECT_EQ(shared.saveTypeIdentifierForTitle("GIF"), std::nullopt);
  EXPECT_EQ(shared.indexOfSaveTypeWithIdentifier("public.png"), 1u);
  EXPECT_EQ(shared.indexOfSaveTypeWithIdentifier("com.compuserve.gif"), 0u);
  EXPECT_EQ(shared.saveTypeTitles().front(), "JPEG");
}

TEST(QVExportSettingsDatasourceManager, FixedTables) {
  auto& shared = QVExportSettingsDatasourceManager::shared();
  EXPECT_EQ(shared.colorSpaceTitles(), (std::vector<std::string>{"sRGB", "Adobe RGB", "ProPhoto RGB"}));
  EXPECT_EQ(shared.indexForColorSpace(3), 2u);
  EXPECT_EQ(shared.indexForColorSpace(7), 0u);
  EXPECT_EQ(shared.colorSpaceAtIndex(1), 2);
  EXPECT_EQ(shared.colorSpaceAtIndex(9), 1);  // outside the list: sRGB

  EXPECT_EQ(shared.resizeTypesTitles(),
            (std::vector<std::string>{"ORIGINAL", "LONG EDGE", "SHORT EDGE", "DIMENSIONS"}));
  std::vector<int64_t> resizeTags;
  for (const auto& r : shared.resizeTypes()) resizeTags.push_back(r.tag);
  EXPECT_EQ(resizeTags, (std::vector<int64_t>{0, 1, 2, 3}));

  EXPECT_EQ(shared.compressionTypesTitles(), (std::vector<std::string>{"None", "LZW", "PackBits"}));
  EXPECT_EQ(shared.compressionTypesValues(), (std::vector<int64_t>{1, 5, 32773}));
  EXPECT_EQ(shared.depthsTitles(), (std::vector<std::string>{"8 Bits", "16 Bits"}));
  EXPECT_EQ(shared.depthValues(), (std::vector<int64_t>{8, 16}));

  // Built once: the same lists on every call.
  EXPECT_EQ(&shared.saveTypes(), &QVExportSettingsDatasourceManager::shared().saveTypes());
  EXPECT_EQ(&shared.compressionTypes(), &shared.compressionTypesTitles());
  EXPECT_EQ(&shared.depthTitles(), &shared.depthsTitles());
}

}  // namespace
