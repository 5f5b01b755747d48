#include "app/widgets/error_rules.h"

#include "engine/option_records.h"

namespace moskvid {

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

TErrorBox ErrorBoxFor(std::exception_ptr error) {
  TErrorBox box;
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const FFMpegException& e) {
    box.Kind = ebExclamation;
    message = e.what();
  } catch (const std::exception& e) {
    box.Kind = ebError;
    message = e.what();
  } catch (...) {
    box.Kind = ebError;
  }
  if (message.empty()) return {};
  box.Text = ErrorBoxText(message);
  return box;
}

}  // namespace moskvid
