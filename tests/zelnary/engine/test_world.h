// A small world written to a temporary folder: flat ground, a car going round a square, one
// fixed camera and two chase cameras following the car.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace znr::testing {

// The car goes round (0,0) -> (100,0) -> (100,100) -> (0,100) at 10 units per second; its
// roof is a 4 x 2 square 1.5 units above its origin.
inline constexpr const char* kTestWorld = R"(zelnary-world 1
# ground, 1000 x 1000, at height 0
poly color=0.4,0.6,0.3 : -500 -500 0 ; 500 -500 0 ; 500 500 0 ; -500 500 0
object car 10
poly color=0.8,0.1,0.1 : -2 -1 1.5 ; 2 -1 1.5 ; 2 1 1.5 ; -2 1 1.5
waypoint 0 0 0
waypoint 100 0 0
waypoint 100 100 0
waypoint 0 100 0
end
camera Overview at=0,0,200 dir=1,1,-1 zoom=60
camera Follow at=0,0,50 chase=behind target=car distance=20 zoom=54.5
camera Watcher at=50,50,30 chase=watch target=car
)";

class TempWorld {
 public:
  explicit TempWorld(const std::string& text = kTestWorld) {
    dir_ = std::filesystem::temp_directory_path() /
           ("zelnary_engine_test_" + std::to_string(::getpid()) + "_" + std::to_string(count()++));
    std::filesystem::create_directories(dir_ / "bitmaps");
    std::ofstream(path()) << text;
  }
  ~TempWorld() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempWorld(const TempWorld&) = delete;
  TempWorld& operator=(const TempWorld&) = delete;

  std::string path() const { return (dir_ / "test.wld").string(); }
  std::string bitmaps() const { return (dir_ / "bitmaps").string(); }

 private:
  static int& count() {
    static int n = 0;
    return n;
  }
  std::filesystem::path dir_;
};

}  // namespace znr::testing
