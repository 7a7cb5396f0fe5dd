#pragma once
// The bases of the batch settings editors.
//
// A section editor (`QVBatchPresetSectionViewController`, typed by `QVBatchPresetSectionEditor`)
// shows one section of a batch preset (saving, naming, format or resizing) and edits its own copy
// of it; it tells its delegate (the settings pane) after every edit the user makes, with that
// copy. Showing a section reports nothing: the editors redisplay through silent setters and listen
// only to the user's input.
//
// An option editor (`QVBatchOptionViewController`) is the small value editor of one naming part
// type or resize type inside a section editor; it reports its value to its delegate.
//
// Editors are plain view controllers: their view can be put into any pane (it fills what it is
// given and lays out its controls from the top left). Main thread only.
#include <QRect>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/Batch/QVSerializationProtocol.h"
#include "QVAppKit/QVViewController.h"

class QVBatchPresetSectionViewController;

class QVBatchPresetSectionViewControllerDelegate {
 public:
  virtual ~QVBatchPresetSectionViewControllerDelegate() = default;
  virtual void batchPresetSectionVC(QVBatchPresetSectionViewController* editor,
                                    const std::shared_ptr<QVSerializationProtocol>& presetSetting) {}
};

class QVBatchPresetSectionViewController : public QVViewControllerWithoutNib {
 public:
  // The view goes with the editor, also out of a pane that still shows it: its controls call the
  // editor.
  ~QVBatchPresetSectionViewController() override;
  // Not owned; the delegate outlives the editor or clears itself.
  QVBatchPresetSectionViewControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(QVBatchPresetSectionViewControllerDelegate* delegate) { delegate_ = delegate; }
  // The editor's copy of its section, untyped (null before a section is shown).
  virtual std::shared_ptr<QVSerializationProtocol> presetSettingObject() const = 0;
  void notifyPresetSettingDidChange();

  void viewDidLoad() override;
  void viewDidLayout() override;
  // Views whose corners are rounded to half their height.
  virtual std::vector<QWidget*> roundedViews() const { return {}; }
  // The size the editor's controls need (for hosting panes).
  virtual QSize preferredSize() const { return QSize(340, 80); }

  // Places a control in a rectangle given from the top left of its parent.
  static void place(QWidget* view, const QRectF& topLeftRect);
  // Expires when the editor goes: completions that arrive later check it first.
  std::weak_ptr<void> lifetime() const { return lifetime_; }

 protected:
  virtual void addSubviews() {}
  virtual void setupLayoutConstraints() {}

 private:
  QVBatchPresetSectionViewControllerDelegate* delegate_ = nullptr;
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

template <class Section>
class QVBatchPresetSectionEditor : public QVBatchPresetSectionViewController {
 public:
  const std::shared_ptr<Section>& presetSetting() const { return presetSetting_; }
  // The section shown: the object already held changes nothing; any other is copied and shown.
  void setPresetSetting(const std::shared_ptr<Section>& setting) {
    if (!setting || setting == presetSetting_) return;
    presetSetting_ = setting->copy();
    view();
    onDidSetPresetSetting(presetSetting_);
  }
  std::shared_ptr<QVSerializationProtocol> presetSettingObject() const override { return presetSetting_; }

 protected:
  virtual void onDidSetPresetSetting(const std::shared_ptr<Section>&) {}

 private:
  std::shared_ptr<Section> presetSetting_;
};

class QVBatchOptionViewController;

class QVBatchOptionViewControllerDelegate {
 public:
  virtual ~QVBatchOptionViewControllerDelegate() = default;
  virtual void batchOptionVC(QVBatchOptionViewController* editor, const std::optional<std::string>& value) {}
};

class QVBatchOptionViewController : public QVViewControllerWithoutNib {
 public:
  explicit QVBatchOptionViewController(int64_t type) : type_(type) {}
  ~QVBatchOptionViewController() override;
  int64_t type() const { return type_; }
  QVBatchOptionViewControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(QVBatchOptionViewControllerDelegate* delegate) { delegate_ = delegate; }
  void notifyDelegateOfValueChange();
  // Shows a value (silently); nothing in the base.
  virtual void updateValue(const std::optional<std::string>&) {}
  // The value now shown; none in the base.
  virtual std::optional<std::string> currentValue() const { return std::nullopt; }

 private:
  int64_t type_ = 0;
  QVBatchOptionViewControllerDelegate* delegate_ = nullptr;
};
