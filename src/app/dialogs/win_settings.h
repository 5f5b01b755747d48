// TfrmSettings: the video and audio choices of one output format, stored in
// the engine-ready form the job building reads (settings_choices.h holds the
// rules; this window shows them).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "app/settings/global_object.h"
#include "app/settings/settings_choices.h"

namespace moskvid {

class TfrmSettings : public QDialog {
  Q_OBJECT
 public:
  TfrmSettings(const TGlobalObject& global, QWidget* parent);

  // Takes the main window's formats and selected format and its skin; OK
  // sets `mainFormats` to the dialog's format without its change handling.
  void Prepare(QComboBox& mainFormats, int skin);

  QComboBox* cbOutputFormat;
  QComboBox *cmbVideoSize, *cmbVideoEncoder, *cmbVideoBitRate, *cmbFrameRate;
  QCheckBox* ckDeinterlace;
  QComboBox* cmbQuality;  // "Fast", "Balanced", "Best"
  QComboBox *cmbSamplerate, *cmbAudioEncoder, *cmbChannel, *cmbAudioBitRate, *cmbVolume;
  QPushButton *btnDefault, *btnOk, *btnCancel;
  QLabel* lblSummary;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void LoadLists(int format);
  TSettingsChoices Current() const;
  void UpdateSummary();
  void cbOutputFormatChange(int index);
  void btnDefaultClick();
  void btnOkClick();

  const TGlobalObject& global_;
  QComboBox* mainFormats_ = nullptr;
  int skin_ = 0;
  bool loading_ = false;
  std::array<QComboBox*, kChoiceCount> boxes_{};
};

}  // namespace moskvid
