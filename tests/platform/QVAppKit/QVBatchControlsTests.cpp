// The pop-up, the check box that can ignore clicks and the segmented control: what they report.
#include <gtest/gtest.h>

#include <memory>

#include "AppKitTestSupport.h"
#include "MouseTestSupport.h"
#include "QVAppKit/QVDisabledButton.h"
#include "QVAppKit/QVPopUpButton.h"
#include "QVAppKit/QVSegmentedControl.h"

namespace {

TEST(QVPopUpButton, TagsSelectSilentlyAndOnlyChoicesAct) {
  QVPopUpButton popup;
  int acted = 0;
  popup.setAction([&](QVPopUpButton*) { ++acted; });
  popup.setTitles({"None", "LZW", "PackBits"});
  for (int i = 0; i < 3; ++i) popup.setTagOfItemAtIndex(i, std::vector<int64_t>{1, 5, 32773}[size_t(i)]);
  EXPECT_EQ(popup.indexOfSelectedItem(), 0);  // new items select the first
  EXPECT_TRUE(popup.selectItemWithTag(32773));
  EXPECT_EQ(popup.titleOfSelectedItem(), "PackBits");
  EXPECT_EQ(popup.selectedTag(), 32773);
  popup.selectItemAtIndex(7);  // outside: nothing selected
  EXPECT_EQ(popup.titleOfSelectedItem(), std::nullopt);
  EXPECT_EQ(popup.selectedTag(), std::nullopt);
  popup.setTitles({"A", "B"});
  EXPECT_EQ(acted, 0);
  popup.chooseItemAtIndex(1);
  popup.chooseItemAtIndex(1);
  popup.chooseItemAtIndex(5);  // no such item
  EXPECT_EQ(acted, 2);
  EXPECT_EQ(popup.tagOfItemAtIndex(1), std::nullopt);  // tags went with the old items
}

TEST(QVPopUpButton, IsWideEnoughForItsLongestTitleBesideThePictogram) {
  QVPopUpButton popup;
  popup.setTitles({"A", "A much longer title"});
  const int wide = popup.sizeHint().width();
  popup.setTitles({"A"});
  EXPECT_GT(wide, popup.sizeHint().width());
  EXPECT_EQ(popup.sizeHint().height(), 28);
}

TEST(QVDisabledButton, ClicksPassOnlyWhileInteractionIsEnabled) {
  QVDisabledButton checkbox;
  checkbox.resize(120, 28);
  checkbox.setTitle("Overwrite");
  int acted = 0;
  checkbox.setAction([&](QVDisabledButton*) { ++acted; });
  checkbox.setState(true);  // from code: silent
  EXPECT_EQ(acted, 0);
  auto click = [&] {
    mouse_test::press(&checkbox, QPointF(7, 14));
    mouse_test::release(&checkbox, QPointF(7, 14));
  };
  checkbox.setInteractionEnabled(false);
  click();
  checkbox.performClick();
  EXPECT_TRUE(checkbox.state());
  EXPECT_EQ(acted, 0);
  checkbox.setInteractionEnabled(true);
  click();
  EXPECT_FALSE(checkbox.state());
  click();
  EXPECT_TRUE(checkbox.state());
  EXPECT_EQ(acted, 2);
}

TEST(QVSegmentedControl, AClickOnASegmentSelectsItAndActsOnce) {
  QVSegmentedControl control;
  control.resize(400, 28);
  control.setTitles({"PREFIX", "BASE", "SUFFIX", "LETTERS"});
  std::vector<int> acted;
  control.setAction([&](QVSegmentedControl* c) { acted.push_back(c->selectedSegment()); });
  control.setSelectedSegment(0);
  EXPECT_TRUE(acted.empty());
  EXPECT_EQ(control.segmentAtPoint(QPointF(250, 14)), 2);
  EXPECT_EQ(control.segmentAtPoint(QPointF(450, 14)), -1);
  mouse_test::press(&control, QPointF(250, 14));
  mouse_test::release(&control, QPointF(250, 14));
  // A press that ends on another segment is no click.
  mouse_test::press(&control, QPointF(50, 14));
  mouse_test::release(&control, QPointF(150, 14));
  EXPECT_EQ(acted, std::vector<int>{2});
  EXPECT_EQ(control.selectedSegment(), 2);
  control.setSelectedSegment(9);
  EXPECT_EQ(control.selectedSegment(), -1);
}

}  // namespace
