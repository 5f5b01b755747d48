// The application object: catches every error that escapes an event handler
// and hands it to the one error handler the main window installs.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace moskvid {

class TApplication : public QApplication {
 public:
  using TErrorHandler = std::function<void(std::exception_ptr error)>;

  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // The handler for errors nobody else handled; replaces the previous one.
  static void SetErrorHandler(TErrorHandler handler);
  // Reports an error to the installed handler (to standard error without one).
  static void ReportError(std::exception_ptr error);
};

// Runs `work`, reporting what it raises to the application error handler;
// window handlers run their bodies through it.
template <class Work>
void Guarded(Work&& work) {
  try {
    work();
  } catch (...) {
    TApplication::ReportError(std::current_exception());
  }
}

}  // namespace moskvid
