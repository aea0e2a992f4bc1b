// The error modes of the form's procedures. Seams report a failed call by throwing a
// std::exception; Platform::endProgram is not such a failure and always passes through.
#pragma once

#include <exception>
#include <utility>

namespace kwellor {

// Resume-next: runs one statement; a failure skips it and leaves its target unchanged.
template <class Statement>
void ResumeNext(Statement&& statement) {
  try {
    std::forward<Statement>(statement)();
  } catch (const std::exception&) {
  }
}

// A handler under a silent trap: a failure ends the handler at that step, without a message.
template <class Handler>
void SilentTrap(Handler&& handler) {
  ResumeNext(std::forward<Handler>(handler));
}

}  // namespace kwellor
