// TfrmWaterMark: where a text or picture to lay over the video would be
// described. Nothing reads it: it stores nothing, and the main window keeps
// its entries hidden.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace moskvid {

class TUiServices;

class TfrmWaterMark : public QDialog {
  Q_OBJECT
 public:
  TfrmWaterMark(TUiServices& services, QWidget* parent);

  // The selected file ("" when the list is empty) and the skin to take.
  void Prepare(const std::string& sourceFile, int skin);

  QLabel* lblSourceName;
  QCheckBox *ckTextScrol2, *ckTextScrol1, *ckTextScrol3, *ckTextScrol5, *ckTextScrol4;
  QLineEdit *edtAddText, *edtPosX, *edtPosY, *edtAddImage, *edtAddWatermark;
  QPushButton *btnBrows, *btnBrows1, *btnOk, *btnCancel, *btnDefault;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ChooseImage(QLineEdit& field);
  void btnDefaultClick();

  TUiServices& services_;
  std::string sourceFile_;
  int skin_ = 0;
};

}  // namespace moskvid
