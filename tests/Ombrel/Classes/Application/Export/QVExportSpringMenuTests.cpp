#include "Ombrel/Classes/Application/Export/QVExportSpringMenu.h"

#include <gtest/gtest.h>

#include "../Common/CompareTestSupport.h"
#include "ExportPanelTestSupport.h"
#include "QVAppKit/QVWindowResizing.h"

using namespace export_test;

namespace {

class RecordingMenuDelegate : public QVExportSpringMenuDelegate {
 public:
  std::vector<uint64_t> types;
  void exportSpringMenuDidClickItemWithType(QVExportSpringMenu*, uint64_t type) override { types.push_back(type); }
};

class ExportMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    QVExportDatasource::setTargetOfferedQuery([](uint64_t t) { return t == 0 || t == 2 || t == 5; });
    window = std::make_unique<QVView>(CGRectMake(0, 0, 800, 600));
    window->initialize();
    menu = QVMake<QVExportSpringMenu>();
    menu->setBackgroundColor(Qt::white);
    menu->setCornerRadius(22);
    menu->setItems(QVExportDatasource::exportItems());
    menu->setCollapsedTitle("EXPORT");
    menu->setExpandedTitle("CANCEL");
    menu->setExportDelegate(&delegate);
    const CGSize size = menu->contentSizeForState(false);
    menu->setFrame(CGRectMake(800 - 11 - size.width, 11, size.width, size.height));
    window->addSubview(menu);
    window->show();
    window->layoutSubtreeIfNeeded();
  }
  void TearDown() override {
    window.reset();
    QVExportDatasource::setTargetOfferedQuery(nullptr);
    QVAnimationDriver::shared().cancelAll();
    pump(0.1);
  }
  void open() {
    menu->switchExpanded();
    pump(2);
    ASSERT_TRUE(menu->expanded());
  }
  QVExportMenuItemView* row(size_t i) { return menu->menuContentView()->itemViews().at(i); }
  QPointF inWindow(QWidget* view) { return view->mapTo(view->window(), QRectF(view->rect()).center()); }
  std::vector<bool> highlights() {
    std::vector<bool> h;
    for (auto* r : menu->menuContentView()->itemViews()) h.push_back(r->highlighted());
    return h;
  }

  std::unique_ptr<QVView> window;
  QVExportSpringMenu* menu = nullptr;
  RecordingMenuDelegate delegate;
};

TEST_F(ExportMenu, SizesOfBothStatesAndTheRows) {
  const double label = menu->collapsedLabel()->intrinsicContentSize().width;
  EXPECT_GT(label, 0);
  EXPECT_EQ(menu->contentSizeForState(false), CGSizeMake(label + 52, 44));
  EXPECT_EQ(menu->contentSizeForState(true), CGSizeMake(250, 44 * 3 + 44));
  EXPECT_EQ(menu->contentView()->frame().size.height, 0);
  open();
  EXPECT_EQ(menu->frame().size, CGSizeMake(250, 176));
  EXPECT_EQ(CGRectGetMaxX(menu->frame()), 800 - 11) << "grew towards the leading side";
  EXPECT_EQ(menu->menuContentView()->frame(), CGRectMake(0, 0, 250, 132));
  EXPECT_EQ(menu->expandedLabel()->alpha(), 1.0);
  EXPECT_EQ(menu->collapsedLabel()->alpha(), 0.0);
  // Rows from the top: disk, e-mail, the hand-off; titles the upper-case keys of the titles.
  std::vector<std::string> titles;
  for (size_t i = 0; i < 3; ++i) {
    titles.push_back(row(i)->titleLabel()->title().value_or(""));
    EXPECT_EQ(row(i)->frame(), CGRectMake(0, 132 - 44.0 * double(i + 1), 250, 44));
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"SAVE TO DISK", "EMAIL", "MENDRIX"}));
  EXPECT_EQ(row(0)->imageView()->frame(), CGRectMake(15, 11, 22, 22));
  EXPECT_EQ(row(0)->titleLabel()->frame().origin.x, QVExportMenuItemView::titleTextOffset());

  // One item: a list of one row.
  menu->setItems({QVExportDatasource::shared().exportItemForType(0)});
  EXPECT_EQ(menu->contentSizeForState(true), CGSizeMake(250, 88));
}

TEST_F(ExportMenu, HighlightFollowsThePointerAndLeavesWithIt) {
  open();
  menu->mouseMoved(inWindow(row(1)));
  EXPECT_EQ(highlights(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(row(1)->backgroundColor(), QColor(Qt::black));
  EXPECT_EQ(row(1)->titleLabel()->titleColor(), QColor(Qt::white));
  menu->mouseMoved(inWindow(row(2)));
  EXPECT_EQ(highlights(), (std::vector<bool>{false, false, true}));
  menu->mouseMoved(inWindow(menu->expandedLabel()));
  EXPECT_EQ(highlights(), (std::vector<bool>{false, false, false})) << "the title line is outside the list";
  menu->mouseMoved(inWindow(row(0)));
  EXPECT_EQ(highlights(), (std::vector<bool>{true, false, false}));
  menu->mouseExited(QPointF());
  EXPECT_EQ(highlights(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(menu->menuContentView()->highlightedItemView(), nullptr);
  EXPECT_EQ(row(0)->titleLabel()->titleColor(), QColor(Qt::black));

  // A move as the window delivers it, to the row under the pointer, reaches the list.
  {
    const QPointF local = QRectF(row(2)->rect()).center();
    QMouseEvent move(QEvent::MouseMove, local, row(2)->mapTo(row(2)->window(), local), row(2)->mapToGlobal(local),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(row(2), &move);
  }
  EXPECT_EQ(highlights(), (std::vector<bool>{false, false, true}));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(menu->menuContentView(), &leave);
  EXPECT_EQ(highlights(), (std::vector<bool>{false, false, false}));
}

TEST_F(ExportMenu, PressDragReleaseReportsTheRowOnceClosed) {
  open();
  QVExportMenuContentView* list = menu->menuContentView();
  auto at = [&](QEvent::Type type, size_t i) {
    compare_test::send(list, type, row(i)->mapTo(list, QRectF(row(i)->rect()).center()));
  };
  at(QEvent::MouseButtonPress, 0);
  EXPECT_EQ(highlights(), (std::vector<bool>{true, false, false}));
  at(QEvent::MouseMove, 1);
  at(QEvent::MouseMove, 2);
  EXPECT_EQ(highlights(), (std::vector<bool>{false, false, true}));
  at(QEvent::MouseButtonRelease, 2);
  EXPECT_TRUE(menu->animating());
  EXPECT_TRUE(delegate.types.empty()) << "not before the closing spring ends";
  pump(2);
  EXPECT_FALSE(menu->expanded());
  EXPECT_EQ(delegate.types, std::vector<uint64_t>{5});
  EXPECT_EQ(highlights(), (std::vector<bool>{false, false, false}));
}

TEST_F(ExportMenu, TitleClickClosesWithoutAChoice) {
  menu->onClickReleased();  // opening reports nothing
  pump(2);
  EXPECT_TRUE(menu->expanded());
  EXPECT_TRUE(delegate.types.empty());
  menu->onClickReleased();
  menu->onClickReleased();  // refused while the spring runs
  EXPECT_TRUE(delegate.types.empty());
  pump(2);
  EXPECT_EQ(delegate.types, std::vector<uint64_t>{kQVExportTypeNone});
}

TEST_F(ExportMenu, WindowIsNotResizableWhileCollapsing) {
  QWidget* top = menu->window();
  open();
  EXPECT_TRUE(QVWindowResizing::isResizable(top)) << "opening holds nothing";
  menu->switchAndHandleMenu(kQVExportTypeNone);
  EXPECT_FALSE(QVWindowResizing::isResizable(top));
  pump(2);
  EXPECT_TRUE(QVWindowResizing::isResizable(top));

  // A collapse cut short: the menu taken away, or destroyed, mid-way.
  open();
  menu->switchAndHandleMenu(kQVExportTypeNone);
  pump(0.05);
  menu->removeFromSuperview();
  EXPECT_TRUE(QVWindowResizing::isResizable(top));
  window->addSubview(menu);
  pump(2);
  open();
  menu->switchAndHandleMenu(kQVExportTypeNone);
  ASSERT_FALSE(QVWindowResizing::isResizable(top));
  delete menu;
  EXPECT_TRUE(QVWindowResizing::isResizable(top));
}

}  // namespace
