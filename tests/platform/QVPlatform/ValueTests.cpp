#include <gtest/gtest.h>

#include "QVPlatform/Value.h"

using qv::Value;

TEST(Value, NumbersCompareByValueButKeepTheirFlavour) {
  EXPECT_EQ(Value(1), Value(1.0));
  EXPECT_NE(Value(true), Value(1));
  EXPECT_TRUE(Value(2).isInteger());
  EXPECT_TRUE(Value(2.5).isReal());
  EXPECT_EQ(Value(2.9).asInt(), 2);
  EXPECT_EQ(Value("x").asInt(7), 7);
}

TEST(Value, DictionaryAndArrayAccessNeverThrow) {
  Value d;
  d.set("b", 2).set("a", Value().push(1).push("two"));
  EXPECT_EQ(d["a"][1].asString(), "two");
  EXPECT_TRUE(d["missing"]["deeper"][3].isNull());
  Value copy = d;
  copy.set("b", 3);
  EXPECT_EQ(d["b"].asInt(), 2) << "copies are deep";
}
