#pragma once
// The options the export dialog carries below its file list when one photo is saved: the file
// type, the options of that type (the quality slider for JPEG and JPEG 2000, the compression for
// TIFF, nothing for the others), the bit depth, the colour space, and a button that leaves the
// dialog for the advanced export settings.
//
// It remembers the last type in the user defaults ("PreviousExportImageTypeKey", stored as soon
// as it is chosen, so a cancelled dialog still changes the next default) and the quality per type
// in the application settings, and hands the export the type, the depth, the colour space and the
// image properties to write ({TIFF} Compression, the lossy compression quality and "Depth", over
// the metadata handed in).
//
// The state lives in this object; the widget only shows it, so the export can read the choices
// after the dialog (and the widget with it) has gone. Main thread only.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "QVAppKit/QVPopUpButton.h"
#include "QVAppKit/QVSliderView.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVPlatform/Value.h"

class QVAppSettings;
class QFileDialog;

inline constexpr const char* kQVPreviousExportImageTypeKey = "PreviousExportImageTypeKey";

class QVExportOptionsView : public QVExportOptionsAccessory {
 public:
  // metadata: the image properties handed in (may be null); colorSpace: 3 ProPhoto, 2 Adobe RGB,
  // anything else sRGB; depth: 8, or 16 for anything else. Settings: the application's unless given.
  static std::shared_ptr<QVExportOptionsView> exportOptionsViewWithMetadata(const qv::Value& metadata,
                                                                            int64_t colorSpace, int64_t depth,
                                                                            QVAppSettings* settings = nullptr);
  ~QVExportOptionsView() override;

  // QVExportOptionsAccessory.
  QWidget* view() override { return widget_; }
  std::string type() const override { return type_; }
  int64_t depth() const override;
  int64_t colorSpace() const override;
  qv::Dictionary imageProperties() const override;

  QVExportOptionsViewDelegate* delegate() const { return delegate_; }
  void setDelegate(QVExportOptionsViewDelegate* delegate) { delegate_ = delegate; }
  void setOptionsDelegate(QVExportOptionsViewDelegate* delegate) override { setDelegate(delegate); }
  // Selects the type the name's extension asks for, when a writer knows it (the dialog is left
  // as it is: it has answered).
  void followTypeOfFileName(const std::string& path) override;
  // The user typed this into the save dialog's name field: an extension a writer knows selects its
  // type at once (so the depth, compression and quality shown are that type's), and the dialog's
  // filter takes the extension as typed ("x.tif" stays "x.tif").
  void nameWasTyped(const std::string& name);

  // User actions (the controls call these; tests may too).
  void typeDidChange();
  void compressionDidChange();
  void qualityDidChange();
  void depthDidChange();
  void colorSpaceDidChange();
  void advancedSettingsBtnDidClick();

  // The stored quality of the current type, 0.85 when none is stored.
  double imageCompressionQuality() const;
  int colorSpaceIndex() const { return colorSpaceIndex_; }
  int depthIndex() const { return depthIndex_; }
  // 1 JPEG and JPEG 2000, 2 TIFF, 0 the others.
  int tabIndex() const { return tab_; }
  double exportOptionsViewHeight() const { return height_; }
  double settingsBtnTopOffset() const { return settingsTopOffset_; }
  const qv::Value& metadata() const { return metadata_; }

  QVPopUpButton* popUpButton() const { return typePopup_; }
  QVPopUpButton* compressionPopUpButton() const { return compressionPopup_; }
  QVPopUpButton* depthPopUpButton() const { return depthPopup_; }
  QVPopUpButton* colorSpacePopUpButton() const { return colorSpacePopup_; }
  QVSliderView* qualitySlider() const { return qualitySlider_; }
  QVRoundedSpringButton* advanceSettingButton() const { return advancedButton_; }

  // The file dialog that carries the view (its window), if any.
  QFileDialog* panel() const;
  // Makes the view the dialog's accessory below its file list and limits the dialog to the type.
  void addViewToSavePanel(QFileDialog* panel);

 private:
  QVExportOptionsView() = default;
  void initializeWithMetadata(const qv::Value& metadata, int64_t colorSpace, int64_t depth);
  void buildWidget();
  void changeLayoutPositionForTab(int tab);
  void showDepthForType();
  void allowOnlyTypeInPanel();
  // Follows the name field of the save dialog that carries the view (once per dialog).
  void watchNameInPanel();
  // Selects the type in the pop-up and takes it (false for a type the pop-up does not offer).
  bool selectType(const std::string& type);
  qv::Dictionary& mutableImageProperties() const;
  QVAppSettings& settings() const;

  qv::Value metadata_;
  int64_t colorSpaceIn_ = 1;
  std::string type_;
  int depthIndex_ = 0;
  int colorSpaceIndex_ = 0;
  int tab_ = 0;
  double height_ = 100;
  double settingsTopOffset_ = -70;
  mutable std::optional<qv::Dictionary> imageProperties_;
  QVAppSettings* settings_ = nullptr;
  QVExportOptionsViewDelegate* delegate_ = nullptr;
  // While a type follows the dialog's answer, the dialog is left alone.
  bool followingName_ = false;
  // The extension the user typed for the current type ("tif" for TIFF), empty when the type was
  // chosen in the pop-up: the dialog's filter and default suffix use it, and the name stays.
  std::string typedSuffix_;
  QPointer<QFileDialog> watchedDialog_;

  QPointer<QWidget> widget_;
  QPointer<QVPopUpButton> typePopup_, compressionPopup_, depthPopup_, colorSpacePopup_;
  QPointer<QVSliderView> qualitySlider_;
  QPointer<QVRoundedSpringButton> advancedButton_;
  QPointer<QWidget> qualityTab_, compressionTab_;
};
