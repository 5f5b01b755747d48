// TfrmFileInfo: the main figures of the selected file, read through a
// converter component of the dialog's own. It changes nothing.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>

#include "component/cc_av_converter.h"

namespace moskvid {

class TfrmFileInfo : public QDialog {
  Q_OBJECT
 public:
  using TLog = std::function<void(const std::string& line)>;
  // `log` gets the reason when the file cannot be opened.
  TfrmFileInfo(TLog log, QWidget* parent);
  ~TfrmFileInfo() override;

  // The file to describe ("" when the list is empty) and the skin to take.
  void Prepare(const std::string& sourceFile, int skin);

  QLabel *lblSourceName, *lblFileLength;
  QLineEdit *edtFormat, *edtResloution, *edtFrameRate, *edtTotalFrame, *edtBitRate;
  QLineEdit *edtAudioForamt, *edtSampleRate, *edtChannel, *edtAudioBitRate;
  QPushButton* btn1;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void Describe();

  TLog log_;
  std::unique_ptr<TCCAVConverter> converter_;
  std::string sourceFile_;
  int skin_ = 0;
};

}  // namespace moskvid
