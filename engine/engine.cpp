#include "engine/engine.h"

#include <algorithm>

namespace kwellor {
namespace {

// A longer reason is cut: it goes into a message box.
constexpr int32_t kMaxReasonBytes = 4096;

}  // namespace

Engine::~Engine() = default;

int32_t Engine::ZNR_engine_get_last_error(char* buffer, int32_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return 0;
}

bool Engine::hasLoadProgress() const {
  return false;
}

bool Engine::hasCancelLoad() const {
  return false;
}

int32_t Engine::ZNR_engine_get_load_progress(int32_t* done, int32_t* total) {
  if (done != nullptr) *done = 0;
  if (total != nullptr) *total = 0;
  return 0;
}

void Engine::ZNR_engine_cancel_load() {}

std::string LastLoadError(Engine& engine) {
  const int32_t length = std::min(engine.ZNR_engine_get_last_error(nullptr, 0), kMaxReasonBytes);
  if (length <= 0) return {};
  std::string reason(static_cast<size_t>(length) + 1, '\0');
  engine.ZNR_engine_get_last_error(reason.data(), length + 1);
  const size_t end = reason.find('\0');
  if (end != std::string::npos) reason.resize(end);
  return reason;
}

}  // namespace kwellor
