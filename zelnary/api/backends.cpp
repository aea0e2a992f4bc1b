#include "zelnary/api/backends.h"

#include <dlfcn.h>

#include <array>

#include "zelnary/cpu/cpu_backend.h"
#include "zelnary/gl/gl_backend.h"
#include "zelnary/render/null_backend.h"

namespace znr {
namespace {

// The card is reached through libEGL, which libepoxy loads on first use; without it nothing
// else the back end does can work.
std::string gl_unavailable() {
  void* egl = dlopen("libEGL.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!egl) {
    const char* why = dlerror();
    return std::string("cannot load libEGL.so.1: ") + (why ? why : "not found");
  }
  dlclose(egl);
  return {};
}

constexpr std::array kBackends{
    BackendEntry{"opengl", true, false, gl_unavailable,
                 []() -> std::unique_ptr<Backend> { return std::make_unique<GlBackend>(); }},
    BackendEntry{"cpu", false, false, nullptr,
                 []() -> std::unique_ptr<Backend> { return std::make_unique<CpuBackend>(); }},
    BackendEntry{"null", false, true, nullptr, make_null_backend},
};

}  // namespace

BackendTable engine_backends() {
  return kBackends;
}

}  // namespace znr
