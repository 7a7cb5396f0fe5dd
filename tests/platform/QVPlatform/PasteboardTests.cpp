#include "QVPlatform/Pasteboard.h"

#include <gtest/gtest.h>

TEST(Pasteboard, NamedBoardsAreSharedAndHoldOneItem) {
  EXPECT_EQ(qv::Pasteboard::pasteboardWithName(""), nullptr);
  auto a = qv::Pasteboard::pasteboardWithName("doc-a");
  EXPECT_EQ(qv::Pasteboard::pasteboardWithName("doc-a"), a);
  auto b = qv::Pasteboard::pasteboardWithName("doc-b");
  ASSERT_NE(a, b);

  EXPECT_FALSE(a->setData({1}, ""));
  EXPECT_TRUE(a->setData({1, 2, 3}, "T"));
  EXPECT_EQ(a->dataForType("T"), (qv::Pasteboard::Data{1, 2, 3}));
  EXPECT_FALSE(b->canReadType("T")) << "each name is its own board";
  EXPECT_FALSE(a->canReadType("U"));

  const int64_t count = a->changeCount();
  EXPECT_EQ(a->clearContents(), count + 1);
  EXPECT_FALSE(a->canReadType("T"));
  EXPECT_TRUE(a->types().empty());

  a->setData({9}, "T");
  qv::Pasteboard::releaseGlobally("doc-a");
  EXPECT_FALSE(qv::Pasteboard::pasteboardWithName("doc-a")->canReadType("T"));
}
