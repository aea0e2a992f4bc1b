// A back end that draws nothing and shows nothing: every call succeeds, a read-back gives a
// black frame of the size asked for. For tests of everything above the back ends, and for
// machines with no display at all (ZELNARY_BACKEND=null).
#pragma once

#include <memory>

#include "zelnary/render/backend.h"

namespace znr {

std::unique_ptr<Backend> make_null_backend();

}  // namespace znr
