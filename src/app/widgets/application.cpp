#include "app/widgets/application.h"

#include <cstdio>

#include "app/widgets/error_rules.h"

namespace moskvid {

namespace {

// Set and used on the window thread only.
TApplication::TErrorHandler& Handler() {
  static TApplication::TErrorHandler handler;
  return handler;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportError(std::current_exception());
    return true;
  }
}

void TApplication::SetErrorHandler(TErrorHandler handler) {
  Handler() = std::move(handler);
}

void TApplication::ReportError(std::exception_ptr error) {
  if (Handler()) {
    Handler()(error);
    return;
  }
  const TErrorBox box = ErrorBoxFor(error);
  if (box.Kind != ebNone) std::fprintf(stderr, "%s\n", box.Text.c_str());
}

}  // namespace moskvid
