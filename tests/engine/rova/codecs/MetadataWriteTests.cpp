#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include "rova/codecs/Codecs.h"

namespace codecs = rova::codecs;

namespace {

std::vector<uint8_t> smallJpeg() {
  codecs::Bitmap b;
  EXPECT_TRUE(b.allocate(16, 16, 3, 8));
  std::fill(b.pixels.begin(), b.pixels.end(), uint8_t(90));
  codecs::EncodeOptions o;
  std::string error;
  return codecs::encode(b, o, &error);
}

}  // namespace

// What one file's metadata reads as can be written into another: XMP arrays, language
// alternatives and structures included. XMP that cannot be written never costs the EXIF.
TEST(MetadataWrite, XmpOfEveryShapeCarriesOverAndNeverCostsTheExif) {
  std::vector<uint8_t> source = smallJpeg();
  {
    auto img = Exiv2::ImageFactory::open(source.data(), long(source.size()));
    img->readMetadata();
    Exiv2::XmpData xmp;
    Exiv2::XmpArrayValue subject(Exiv2::xmpBag);
    subject.read("tower");
    subject.read("night");
    xmp.add(Exiv2::XmpKey("Xmp.dc.subject"), &subject);
    xmp["Xmp.dc.title"] = "lang=\"x-default\" The title";
    Exiv2::XmpTextValue seq;
    seq.setXmpArrayType(Exiv2::XmpValue::xaSeq);
    xmp.add(Exiv2::XmpKey("Xmp.xmpMM.History"), &seq);
    xmp["Xmp.xmpMM.History[1]/stEvt:action"] = "saved";
    xmp["Xmp.xmp.Rating"] = "4";
    img->setXmpData(xmp);
    img->exifData()["Exif.Image.Make"] = "Maker";
    img->writeMetadata();
    auto& io = img->io();
    io.seek(0, Exiv2::BasicIo::beg);
    Exiv2::DataBuf buf = io.read(long(io.size()));
    source.assign(buf.pData_, buf.pData_ + buf.size_);
  }
  rova::ImageMetadata read;
  ASSERT_TRUE(codecs::readMetadata(source.data(), source.size(), "jpg", read));
  std::vector<uint8_t> target = smallJpeg();
  std::string error;
  ASSERT_TRUE(codecs::writeMetadata(target, read.entries, &error)) << error;
  rova::ImageMetadata back;
  ASSERT_TRUE(codecs::readMetadata(target.data(), target.size(), "jpg", back));
  ASSERT_TRUE(back.find("Exif.Image.Make"));
  EXPECT_EQ(back.find("Exif.Image.Make")->text, "Maker");
  ASSERT_TRUE(back.find("Xmp.dc.subject"));
  EXPECT_EQ(back.find("Xmp.dc.subject")->items, (std::vector<std::string>{"tower", "night"}));
  ASSERT_TRUE(back.find("Xmp.dc.title"));
  EXPECT_NE(back.find("Xmp.dc.title")->text.find("The title"), std::string::npos);
  ASSERT_TRUE(back.find("Xmp.xmp.Rating"));
  EXPECT_EQ(back.find("Xmp.xmp.Rating")->text, "4");
  const auto* action = back.find("Xmp.xmpMM.History[1]/stEvt:action");
  ASSERT_TRUE(action);
  EXPECT_EQ(action->text, "saved");

  // An XMP path the toolkit refuses: the EXIF and the plain XMP are written all the same.
  std::vector<rova::MetadataEntry> odd = {{"Exif.Image.Model", "Body", {}, false},
                                          {"Xmp.iptcExt.LocationCreated[1]/Iptc4xmpExt:City", "x", {}, false},
                                          {"Xmp.xmp.Rating", "3", {}, false}};
  std::vector<uint8_t> plain = smallJpeg();
  EXPECT_TRUE(codecs::writeMetadata(plain, odd, &error)) << error;
  rova::ImageMetadata plainBack;
  ASSERT_TRUE(codecs::readMetadata(plain.data(), plain.size(), "jpg", plainBack));
  ASSERT_TRUE(plainBack.find("Exif.Image.Model"));
  ASSERT_TRUE(plainBack.find("Xmp.xmp.Rating"));
  EXPECT_EQ(plainBack.find("Xmp.xmp.Rating")->text, "3");
}
