// TfrmCrop: cuts margins off the selected file's picture with a rectangle
// over its preview, and chooses how the picture fills the output frame
// (crop_rules.h holds the arithmetic).
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <memory>

#include "app/dialogs/clip_preview.h"
#include "app/dialogs/rect_tracker.h"
#include "app/settings/file_record.h"
#include "component/cc_av_converter.h"

namespace moskvid {

class TfrmCrop : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmCrop(QWidget* parent);
  ~TfrmCrop() override;

  // The record of the selected entry (null when the list is empty); OK writes it.
  void Prepare(TlvFilesRecord* record, int skin);

  // The margins shown, in preview pixels.
  TMargins Shown() const;
  const TArea& Picture() const { return picture_; }

  TClipPreview* Preview;
  TRectTracker* RectTracker;
  QLabel *lblSourceName, *lblLength;
  QSpinBox *spedUp, *spedDown, *spedLeft, *spedRight;
  QComboBox* cmbZoom;
  QPushButton *btnReset, *btnDetect, *btnOk, *btnCancel, *btnDefault;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void PlaceOverPicture();
  void MarginChanged(QSpinBox& field, bool vertical);
  void TrackerMoved();
  void ShowMargins(const TMargins& margins);
  void btnResetClick();
  void btnDetectClick();
  void btnOkClick();

  std::unique_ptr<TCCAVConverter> converter_;
  TlvFilesRecord* record_ = nullptr;
  int skin_ = 0;
  TArea picture_;
  TMargins last_;
  // Source margins known exactly (stored, or found by Detect) and the
  // preview values they show as: a side still showing its value keeps the
  // exact margin at OK instead of a value rounded twice.
  TMargins exact_;
  TMargins exactShown_;
  bool dragging_ = false;
  bool placed_ = false;
};

}  // namespace moskvid
