#include <gtest/gtest.h>

#include "Ombrel/Classes/Helpers/QVServiceUtils.h"
#include "Ombrel/Classes/Model/Network/QVFeedbackSheet.h"

namespace {

TEST(QVFeedbackSheet, SerialisedFormHasOnlyTheSetFields) {
  QVFeedbackSheet sheet;
  EXPECT_EQ(sheet.serialize(), qv::Dictionary{});
  sheet.setEmail("ann@example.org");
  EXPECT_EQ(sheet.serialize(), (qv::Dictionary{{"email", "ann@example.org"}}));
  sheet.setName("Ann");
  sheet.setMessage("");
  // An empty text is still a set field.
  EXPECT_EQ(sheet.serialize(), (qv::Dictionary{{"name", "Ann"}, {"email", "ann@example.org"}, {"text", ""}}));
  EXPECT_FALSE(sheet.serialize()->count("image"));

  sheet.setImagePath("/photos/beach.jpg");
  EXPECT_EQ(sheet.serialize().value()["image"],
            qv::Value(qv::Dictionary{{"imagePath", "/photos/beach.jpg"}, {"name", "FeedBack[file]"}}));
  sheet.setImagePath(std::nullopt);
  EXPECT_FALSE(sheet.serialize()->count("image"));
  EXPECT_FALSE(QVSerializableNetworkItem().serialize());
}

TEST(QVServiceUtils, EmailAddressRule) {
  for (const char* good : {"a@b.c", "ann.example+tag@mail.example.org", "x_y@sub-domain.co.uk"}) {
    EXPECT_TRUE(QVServiceUtils::validateEmail(good)) << good;
  }
  for (const char* bad :
       {"", "abc", "a@b", "@b.c", "a@.c", "a@b.", "a@@b.c", "a@b@c.d", "a@b..c", "a b@c.d", "a@b.c ", "a@b\t.c"}) {
    EXPECT_FALSE(QVServiceUtils::validateEmail(bad)) << bad;
  }
}

}  // namespace
