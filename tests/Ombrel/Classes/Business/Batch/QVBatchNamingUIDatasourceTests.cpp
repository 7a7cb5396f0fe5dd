#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace std::chrono;

// 5 March 2021, 12:30:45 UTC.
const system_clock::time_point kFixedNow = sys_days{year{2021} / 3 / 5} + hours{12} + minutes{30} + seconds{45};

class QVBatchNamingUIDatasourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    datasource().setClock([] { return kFixedNow; });
    datasource().setTimeZoneID("UTC");
  }
  void TearDown() override {
    datasource().setClock({});
    datasource().setTimeZoneID({});
  }
  static QVBatchNamingUIDatasource& datasource() { return QVBatchNamingUIDatasource::shared(); }

  static QVBatchSettingsNaming naming(QVBatchName prefix, QVBatchName base, QVBatchName suffix, uint64_t letters = 0) {
    QVBatchSettingsNaming n;
    n.setPrefix(std::make_shared<QVBatchName>(prefix));
    n.setBase(std::make_shared<QVBatchName>(base));
    n.setSuffix(std::make_shared<QVBatchName>(suffix));
    n.setCapitalization(std::make_shared<QVBatchName>(letters, std::nullopt));
    return n;
  }
};

const QVBatchName kNone{0, std::nullopt};
const QVBatchName kFile{1, ""};
QVBatchName text(const char* value) { return {2, value ? std::optional<std::string>(value) : std::nullopt}; }
QVBatchName counter(const char* start) { return {3, start ? std::optional<std::string>(start) : std::nullopt}; }
QVBatchName stamp(const char* format) { return {4, std::string(format)}; }

TEST_F(QVBatchNamingUIDatasourceTest, NamesFromPatterns) {
  struct Case {
    const char* label;
    QVBatchSettingsNaming naming;
    std::string source;
    uint64_t number;
    std::string expected;
  } cases[] = {
      {"prefix, base, counter, upper", naming(text("trip"), kFile, counter("1"), 1), "img", 2, "TRIP_IMG_3"},
      {"file name alone", naming(kNone, kFile, kNone), "img", 5, "img"},
      {"empty custom text", naming(kNone, text(nullptr), kNone), "img", 0, ""},
      {"timestamp suffix", naming(kNone, kFile, stamp("dd_MM_yyyy")), "img", 0, "img_05_03_2021"},
      {"every date choice", naming(stamp("ddMMyyyy"), stamp("MMddyyyy"), stamp("MM_dd_yyyy")), "x", 0,
       "05032021_03052021_03_05_2021"},
      {"counter without value", naming(kNone, counter(nullptr), kNone), "img", 7, "0"},
      {"counter from zero", naming(kNone, kFile, counter("0")), "img", 0, "img_0"},
      {"counter never wraps negative", naming(kNone, kFile, counter("-5")), "img", 2, "img_2"},
      {"counter that is no number", naming(kNone, kFile, counter("abc")), "img", 4, "img_4"},
      {"counter saturates", naming(kNone, counter("9223372036854775807"), kNone), "img", UINT64_MAX,
       "18446744073709551615"},
      {"lower case", naming(text("Trip"), kFile, kNone, 2), "IMG_0042", 0, "trip_img_0042"},
      {"Unicode upper case", naming(kNone, kFile, kNone, 1), "straße_ﬁx", 0, "STRASSE_FIX"},
      {"unknown capitalisation", naming(kNone, kFile, kNone, 9), "Img", 0, "Img"},
      {"unknown part type", naming({9, "x"}, kFile, {7, "y"}), "img", 0, "img"},
      {"slash in custom text", naming(text("a/b"), kFile, kNone), "img", 0, "a_b_img"},
      {"date pattern with separators", naming(kNone, kFile, stamp("yyyy/MM/dd HH:mm")), "img", 0,
       "img_2021_03_05 12_30"},
      {"leading dots", naming(text("..hidden"), kFile, kNone), "img", 0, "hidden_img"},
      {"only dots", naming(kNone, text(".."), kNone), "img", 0, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(datasource().formatFilename(c.source, c.naming, c.number), c.expected) << c.label;
}

TEST_F(QVBatchNamingUIDatasourceTest, LongNamesAreCutAtACharacterBoundary) {
  std::string longName;
  for (int i = 0; i < 150; ++i) longName += "é";  // 300 bytes
  std::string name = datasource().formatFilename(longName, naming(kNone, kFile, kNone));
  EXPECT_EQ(name.size(), kQVBatchFileNameMaxBytes);
  EXPECT_EQ(name, longName.substr(0, kQVBatchFileNameMaxBytes));

  std::string odd = "a" + longName;  // the cut would fall inside a character
  name = datasource().formatFilename(odd, naming(kNone, kFile, kNone));
  EXPECT_EQ(name.size(), kQVBatchFileNameMaxBytes - 1);
}

TEST_F(QVBatchNamingUIDatasourceTest, TargetFileNamesTakeTheExtensionFromTheType) {
  auto plain = naming(kNone, kFile, kNone);
  EXPECT_EQ(datasource().targetFileName("/photos/IMG_1.CR2", plain, 0, "public.jpeg"), "IMG_1.jpeg");
  EXPECT_EQ(datasource().targetFileName("/photos/IMG_1.jpg", plain, 0, "public.jpeg-2000"), "IMG_1.jp2");
  EXPECT_EQ(datasource().targetFileName("/photos/IMG_1.jpg", plain, 0, "public.png"), "IMG_1.png");
  EXPECT_EQ(datasource().targetFileName("/photos/IMG_1.jpg", plain, 0, "PUBLIC.TIFF"), "IMG_1.tiff");
  EXPECT_EQ(datasource().targetFileName("/photos/IMG_1.jpg", plain, 0, "com.example.unknown"), std::nullopt);
  // A pattern that gives no name falls back to the source's name, never to a hidden ".jpeg".
  auto empty = naming(kNone, text(""), kNone);
  EXPECT_EQ(datasource().targetFileName("/photos/IMG_1.jpg", empty, 0, "public.jpeg"), "IMG_1.jpeg");
  EXPECT_EQ(datasource().targetFileName("/photos/.jpg", empty, 0, "public.jpeg"), "jpg.jpeg");
  EXPECT_EQ(datasource().targetFileName("/photos/...", empty, 0, "public.jpeg"), "Image.jpeg");
}

TEST_F(QVBatchNamingUIDatasourceTest, OptionLists) {
  auto tags = [](const std::vector<QVBatchTitleParams>& params) {
    std::vector<int64_t> out;
    for (const auto& p : params) out.push_back(p.tag);
    return out;
  };
  EXPECT_EQ(tags(datasource().popupParamsFromOption(kQVBatchSegmentPrefix)), (std::vector<int64_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(tags(datasource().popupParamsFromOption(kQVBatchSegmentSuffix)), (std::vector<int64_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(tags(datasource().popupParamsFromOption(kQVBatchSegmentBase)), (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(tags(datasource().popupParamsFromOption(kQVBatchSegmentLetters)), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_TRUE(datasource().popupParamsFromOption(4).empty());

  EXPECT_EQ(datasource().popupTitlesWithNameOption(kQVBatchSegmentBase),
            (std::vector<std::string>{"FILE NAME", "CUSTOM TEXT", "COUNTER", "TIMESTAMP"}));
  EXPECT_EQ(datasource().segmentTitles(), (std::vector<std::string>{"PREFIX", "BASE", "SUFFIX", "LETTERS"}));

  EXPECT_EQ(datasource().selectedIndexForBatchNameType(3, kQVBatchSegmentBase), 2u);
  EXPECT_EQ(datasource().selectedIndexForBatchNameType(3, kQVBatchSegmentPrefix), 3u);
  EXPECT_EQ(datasource().selectedIndexForBatchNameType(0, kQVBatchSegmentBase), 0u);  // base offers no None
  EXPECT_EQ(datasource().batchNameTypeForSelectedIndex(0, kQVBatchSegmentBase), 1u);
  EXPECT_EQ(datasource().batchNameTypeForSelectedIndex(2, kQVBatchSegmentLetters), 2u);
  EXPECT_EQ(datasource().batchNameTypeForSelectedIndex(3, kQVBatchSegmentLetters), std::nullopt);

  EXPECT_EQ(datasource().dateTitles(), (std::vector<std::string>{"DDMMYYYY", "MMDDYYYY", "DD_MM_YYYY", "MM_DD_YYYY"}));
  EXPECT_EQ(datasource().dateFormats(), (std::vector<std::string>{"ddMMyyyy", "MMddyyyy", "dd_MM_yyyy", "MM_dd_yyyy"}));
  EXPECT_EQ(datasource().dateFormatFromTitle("MM_DD_YYYY"), "MM_dd_yyyy");
  EXPECT_EQ(datasource().dateFormatFromTitle("mm_dd_yyyy"), std::nullopt);
  EXPECT_EQ(datasource().indexOfDateFormat("dd_MM_yyyy"), 2u);
  EXPECT_EQ(datasource().indexOfDateFormat("yyyy"), 0u);
  EXPECT_EQ(&datasource().dateFormatsDatasource(), &QVBatchNamingUIDatasource::shared().dateFormatsDatasource());

  EXPECT_EQ(datasource().defaultValueForBatchNameType(0), std::nullopt);
  EXPECT_EQ(datasource().defaultValueForBatchNameType(1), "");
  EXPECT_EQ(datasource().defaultValueForBatchNameType(2), "");
  EXPECT_EQ(datasource().defaultValueForBatchNameType(3), "0");
  EXPECT_EQ(datasource().defaultValueForBatchNameType(4), "ddMMyyyy");
}

}  // namespace
