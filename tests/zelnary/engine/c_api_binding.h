// The library's 24 operations bound by name through dlopen, as the viewer binds them.
#pragma once

#include <dlfcn.h>

#include "zelnary3.h"

namespace znr::testing {

// The library's operations, bound by name once for the whole test program.
struct Api {
#define DECLARE(name) decltype(&::name) name = nullptr;
  ZNR_OPERATIONS(DECLARE)
#undef DECLARE
  void* handle = nullptr;
  int resolved = 0;

  Api() {
    handle = dlopen(ZELNARY3_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
#define RESOLVE(op)                                        \
  op = reinterpret_cast<decltype(op)>(dlsym(handle, #op)); \
  resolved += op != nullptr;
    ZNR_OPERATIONS(RESOLVE)
#undef RESOLVE
  }
};

inline const Api& api() {
  static const Api a;
  return a;
}

}  // namespace znr::testing
