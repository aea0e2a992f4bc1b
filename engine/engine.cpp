#include "engine/engine.h"

namespace kwellor {

Engine::~Engine() = default;

}  // namespace kwellor
