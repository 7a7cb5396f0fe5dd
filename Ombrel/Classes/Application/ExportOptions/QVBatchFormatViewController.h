#pragma once
// The format section editor: the file type, the quality slider (JPEG and JPEG 2000 only), the
// TIFF row (compression and depth, TIFF only, in the slider's place) and the colour profile.
//
// Showing a section is silent, with one exception: a TIFF section without TIFF properties gets
// the choices the two TIFF pop-ups show (no compression, 8 bits unless changed) and that counts
// as an edit at once. Choosing JPEG or JPEG 2000 stores the quality the slider shows, so the
// quality shown is the quality written.
#include <QPointer>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSectionViewController.h"
#include "Ombrel/Classes/Business/Batch/QVBatchSettingsFormat.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVPopUpButton.h"
#include "QVAppKit/QVSliderView.h"

class QVBatchFormatViewController : public QVBatchPresetSectionEditor<QVBatchSettingsFormat> {
 public:
  QVPopUpButton* formatButton();
  QVPopUpButton* colorProfileButton();
  QVPopUpButton* compressionButton();
  QVPopUpButton* depthButton();
  QVSliderView* qualitySlider();
  QWidget* compressionUISection();

  // Which controls a file type shows.
  static bool showsQualitySlider(const std::string& type);
  static bool showsTiffRow(const std::string& type);

  void formatButtonSelectionChanged();
  void colorProfileSelectionChanged();
  void compressionTypeChanged();
  void depthChanged();
  void qualitySliderMoved(double value);

  std::vector<QWidget*> roundedViews() const override;
  QSize preferredSize() const override { return QSize(340, 96); }

 protected:
  void addSubviews() override;
  void setupLayoutConstraints() override;
  void onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsFormat>& setting) override;

 private:
  void updateVisibility(const std::string& type);
  void configureCompressionUIIfNeededForFormat(const std::shared_ptr<QVBatchSettingsFormat>& setting);
  void setDefaultCompressionSettingsIfNeeded(const std::shared_ptr<QVBatchSettingsFormat>& setting);
  void storeQualityFromSlider(const std::shared_ptr<QVBatchSettingsFormat>& setting);

  QPointer<QVPopUpButton> formatButton_, colorProfileButton_, compressionButton_, depthButton_;
  QPointer<QVSliderView> qualitySlider_;
  QPointer<QWidget> compressionUISection_;
  QPointer<QVLabel> compressionLabel_, depthLabel_;
};
