// Warnings of the settings code (an output folder that cannot be made, ...)
// shown to the user as message boxes captioned "Warning".
#pragma once

#include <QWidget>

#include "app/settings/app_settings.h"
#include "app/widgets/ui_services.h"

namespace moskvid {

class TBoxWarnings : public TWarningSink {
 public:
  TBoxWarnings(TUiServices& services, QWidget* parent) : services_(services), parent_(parent) {}
  void Warning(const std::string& text) override {
    services_.Message(parent_, "Warning", QString::fromStdString(text), QMessageBox::Warning);
  }

 private:
  TUiServices& services_;
  QWidget* parent_;
};

}  // namespace moskvid
