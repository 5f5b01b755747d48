// TfrmAbout: the about box with the title, the version and the home page.
#pragma once

#include <QDialog>

namespace moskvid {

class TUiServices;

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  TfrmAbout(const QString& title, const QString& version, const QString& homePage,
            TUiServices& services, int skin, QWidget* parent);

  void SetSkin(int skin) { skin_ = skin; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int skin_;
};

}  // namespace moskvid
