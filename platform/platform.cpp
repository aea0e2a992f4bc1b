#include "platform/platform.h"

namespace kwellor {

FormEvents::~FormEvents() = default;
Platform::~Platform() = default;

}  // namespace kwellor
