// TfrmFileInfo: the main figures of the selected file, read through a
// converter component of the dialog's own: on its pages the picture and
// sound figures, the picture's shape, the sound tracks (the one a
// conversion takes marked) and the tags. It changes nothing.
#pragma once

#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <array>
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

  // The file to describe ("" when the list is empty), the skin to take and
  // the sound track its entry chose (0: the automatic choice).
  void Prepare(const std::string& sourceFile, int skin, int audioTrack = 0);

  static constexpr int kTagCount = 10;

  QLabel *lblSourceName, *lblFileLength;
  QTabWidget* tabInfo;
  QLineEdit *edtFormat, *edtResloution, *edtFrameRate, *edtTotalFrame, *edtBitRate;
  QLineEdit *edtAudioForamt, *edtSampleRate, *edtChannel, *edtAudioBitRate;
  QLineEdit *edtSampleAspect, *edtDisplayAspect, *edtRotation;
  QListWidget* lstTracks;
  // In the order of TagTexts: title, artist, album artist, album, track,
  // disc, year, genre, composer, comment; a row shows when its tag does.
  std::array<QLineEdit*, kTagCount> TagFields{};
  QLabel* lblNoTags;
  QPushButton* btn1;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void Clear();
  void Describe();
  void DescribeTracksAndTags(TAVProbe& probe, int takenStream);

  TLog log_;
  std::unique_ptr<TCCAVConverter> converter_;
  std::string sourceFile_;
  int skin_ = 0;
  int audioTrack_ = 0;
  QFormLayout *pictureForm_ = nullptr, *tagForm_ = nullptr;
};

}  // namespace moskvid
