#include "zelnary/render/null_backend.h"

namespace znr {
namespace {

class NullBackend final : public Backend {
 public:
  BackendStatus prepare(const Scene&, const SceneIndex&) override { return BackendStatus::ok; }
  // A window's size would take a display to ask; one pixel keeps the view well formed.
  BackendStatus acquire_window(uint32_t, int32_t& width, int32_t& height) override {
    width = height = 1;
    return BackendStatus::ok;
  }
  BackendStatus acquire_offscreen(int32_t width, int32_t height) override {
    width_ = width;
    height_ = height;
    return BackendStatus::ok;
  }
  BackendStatus draw(const Frame&, const RenderSettings&) override { return BackendStatus::ok; }
  BackendStatus present() override { return BackendStatus::ok; }
  void read_back(Image& out) override {
    out.width = width_;
    out.height = height_;
    out.texels.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0xFF000000u);
  }
  void release() override { width_ = height_ = 0; }
  const std::string& failure() const override { return failure_; }
  std::string name() const override { return "null"; }

 private:
  int32_t width_ = 0, height_ = 0;
  std::string failure_;
};

}  // namespace

std::unique_ptr<Backend> make_null_backend() {
  return std::make_unique<NullBackend>();
}

}  // namespace znr
