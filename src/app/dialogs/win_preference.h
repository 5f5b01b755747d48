// TfrmPreference: the snapshot settings and the work priority
// (preference_rules.h holds the rules).
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <functional>

#include "app/settings/global_object.h"
#include "app/settings/preference_rules.h"

namespace moskvid {

class TUiServices;

class TfrmPreference : public QDialog {
  Q_OBJECT
 public:
  // `chooseFolder` shows the folder chooser and gives the chosen folder
  // (empty when none was chosen).
  TfrmPreference(const TGlobalObject& global, TUiServices& services,
                 std::function<QString()> chooseFolder, QWidget* parent);

  void Prepare(int skin) { skin_ = skin; }
  TPreferences Shown() const;

  QLineEdit* edtSnapDirectory;
  QPushButton *btnOpen, *btnBrows, *btnOk, *btnCancel, *btnDefault;
  QCheckBox *ckFullSize, *ckSmallSize, *ckBmp, *ckJpg, *ckKeepList;
  QSpinBox* spedCmp;
  QSlider* trcCmp;
  QButtonGroup* rdGrpPriority;
  QComboBox* cbSimultaneous;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Show(const TPreferences& preferences);
  void PairClick(QCheckBox& clicked, const QCheckBox& partner);
  void btnOpenClick();
  void btnBrowsClick();
  void btnDefaultClick();
  void btnOkClick();

  const TGlobalObject& global_;
  TUiServices& services_;
  std::function<QString()> chooseFolder_;
  int skin_ = 0;
};

}  // namespace moskvid
