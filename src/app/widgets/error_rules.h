// What the application error handler shows for an error nobody else handled.
#pragma once

#include <exception>
#include <string>

namespace moskvid {

// The message with a "." added when its last character sorts after ".".
std::string ErrorBoxText(const std::string& message);

enum TErrorBoxKind {
  ebNone,         // nothing to show
  ebExclamation,  // the engine's own errors
  ebError,        // everything else
};

struct TErrorBox {
  TErrorBoxKind Kind = ebNone;
  std::string Text;
};

// How an escaped error is shown: the engine's FFMpegException with an
// exclamation icon, others with an error icon; an error without a message
// (the nearest thing to a bare access violation) is not shown.
TErrorBox ErrorBoxFor(std::exception_ptr error);

}  // namespace moskvid
