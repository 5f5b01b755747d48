// TfrmTrim: cuts the selected file to a start and an end, with a frame
// preview (trim_rules.h holds the rules; this window shows them).
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "app/dialogs/clip_preview.h"
#include "app/settings/file_record.h"
#include "component/cc_av_converter.h"

namespace moskvid {

class TUiServices;

class TfrmTrim : public QDialog {
  Q_OBJECT
 public:
  TfrmTrim(TUiServices& services, QWidget* parent);
  ~TfrmTrim() override;

  // The record of the selected entry (null when the list is empty); OK and
  // Reset write it. `TrimmedColumn` is told the seconds for the list.
  void Prepare(TlvFilesRecord* record, int skin, std::function<void(int64_t seconds)> column);

  TClipPreview* Preview;
  QLabel *lblSourceName, *lblLength;
  QLineEdit *maskedtStartTime, *maskedtEndTime, *maskedtLength;
  QPushButton *btnOk1, *btnOk2, *btnReset, *btnSetStart, *btnSetEnd;
  QPushButton *btnOk, *btnCancel, *btnDefault;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void ApplyStart();
  void ApplyEnd();
  void Judge(bool start);
  void UpdateLength();
  void SetStartClick();
  void SetEndClick();
  void btnResetClick();
  void btnOkClick();

  TUiServices& services_;
  std::unique_ptr<TCCAVConverter> converter_;
  TlvFilesRecord* record_ = nullptr;
  std::function<void(int64_t)> column_;
  int skin_ = 0;
  int64_t startMs_ = 0;
  int64_t endMs_ = 0;
  int64_t durationMs_ = 0;
  bool judging_ = false;  // a message box takes the focus: no second judgement
};

}  // namespace moskvid
