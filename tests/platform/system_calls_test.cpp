// The platform's services that need no display: file names, the command line, the Open
// dialog's filters, the clock and the key tables.
#include "platform/qt/system_calls.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <Qt>

#include <filesystem>
#include <fstream>

#include "platform/qt/key_codes.h"

namespace kwellor::qt {
namespace {

namespace fs = std::filesystem;

class FileNameOfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kwellor_fn_" + std::to_string(::getpid()));
    fs::create_directories(dir / "bitmaps");
    std::ofstream(dir / "town.wld") << "x";
    fs::create_symlink(dir / "town.wld", dir / "link.wld");
    fs::create_symlink(dir / "gone.wld", dir / "dangling.wld");
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_F(FileNameOfTest, OrdinaryFilesOnly) {
  EXPECT_EQ(FileNameOf((dir / "town.wld").string()), "town.wld");
  EXPECT_EQ(FileNameOf((dir / "link.wld").string()), "link.wld") << "links are followed";
  EXPECT_EQ(FileNameOf((dir / "dangling.wld").string()), "");
  EXPECT_EQ(FileNameOf((dir / "missing.wld").string()), "");
  EXPECT_EQ(FileNameOf((dir / "bitmaps").string()), "") << "a folder";
  EXPECT_EQ(FileNameOf((dir / "town.wld").string() + "/"), "");
  EXPECT_EQ(FileNameOf(""), "");
  EXPECT_EQ(FileNameOf("/dev/null"), "") << "a device";
}

TEST_F(FileNameOfTest, BareNameInTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  EXPECT_EQ(FileNameOf("town.wld"), "town.wld");
  EXPECT_EQ(FileNameOf("./town.wld"), "town.wld");
  fs::current_path(before);
}

TEST(JoinArgumentsTest, ArgumentsAfterTheProgramJoinedBySingleSpaces) {
  const char* none[] = {"kwellor"};
  EXPECT_EQ(JoinArguments(1, none), "");
  const char* two[] = {"kwellor", "/tmp/My", "Worlds/town.wld"};
  EXPECT_EQ(JoinArguments(3, two), "/tmp/My Worlds/town.wld");
  const char* blanks[] = {"kwellor", "", " a\t", ""};
  EXPECT_EQ(JoinArguments(4, blanks), "  a\t ");
}

TEST(OpenDialogFiltersTest, NamePatternPairs) {
  const auto filters = OpenDialogFilters(
      "All Supported files|*.wld;*.vindle;*.zelnary|*.wld|*.wld|*.vindle|*.vindle|*.zelnary|"
      "*.zelnary");
  ASSERT_EQ(filters.size(), 4u);
  EXPECT_EQ(filters[0], "All Supported files (*.wld *.vindle *.zelnary)");
  EXPECT_EQ(filters[1], "*.wld (*.wld)");
  EXPECT_EQ(filters[3], "*.zelnary (*.zelnary)");
  EXPECT_TRUE(OpenDialogFilters("").empty());
  EXPECT_EQ(OpenDialogFilters("Worlds|*.wld|dangling").size(), 1u);
}

TEST(TickCountTest, MillisecondsOfAMonotonicClock) {
  const int32_t a = MonotonicTickCount();
  ::usleep(20000);
  // The difference is taken as the logic takes it: in 32 bits, wrapping.
  const auto elapsed =
      static_cast<int32_t>(static_cast<uint32_t>(MonotonicTickCount()) - static_cast<uint32_t>(a));
  EXPECT_GE(elapsed, 19);
  EXPECT_LT(elapsed, 2000);
}

TEST(ExecutableDirectoryTest, FolderOfThisTest) {
  const std::string dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(fs::exists(fs::path(dir) / "platform_system_tests"));
}

TEST(KeyCodesTest, VirtualKeysAndKeysymsBothWays) {
  // Letters of either case, digits, arrows, F-keys, both sides of the modifiers.
  EXPECT_EQ(VirtualKeyOfKeysym('a'), 0x41);
  EXPECT_EQ(VirtualKeyOfKeysym('Z'), 0x5A);
  EXPECT_EQ(VirtualKeyOfKeysym('7'), 0x37);
  EXPECT_EQ(VirtualKeyOfKeysym(0xff52), 0x26);  // Up
  EXPECT_EQ(VirtualKeyOfKeysym(0xffc5), 0x77);  // F8
  EXPECT_EQ(VirtualKeyOfKeysym(0xffe2), 0x10);  // right Shift is Shift
  EXPECT_EQ(VirtualKeyOfKeysym(0xffea), 0x12);  // right Alt is Alt
  EXPECT_EQ(VirtualKeyOfKeysym(0x00e9), 0) << "no key of its own";

  const std::vector<uint32_t> shift = KeysymsOfVirtualKey(0x10);
  EXPECT_EQ(shift, (std::vector<uint32_t>{0xffe1, 0xffe2}));
  EXPECT_EQ(KeysymsOfVirtualKey(0x56), (std::vector<uint32_t>{'V', 'v'}));
  EXPECT_EQ(KeysymsOfVirtualKey(0x1B), std::vector<uint32_t>{0xff1b});
  EXPECT_TRUE(KeysymsOfVirtualKey(0xFF).empty());
  EXPECT_TRUE(KeysymsOfVirtualKey(-5).empty());
  for (int32_t vk : {0x10, 0x11, 0x12, 0x1B, 0x25, 0x26, 0x27, 0x28, 0x41, 0x56, 0x5A, 0x70})
    for (uint32_t sym : KeysymsOfVirtualKey(vk)) EXPECT_EQ(VirtualKeyOfKeysym(sym), vk) << vk;

  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_Escape), 0x1B);
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_F8), 0x77);
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_V), 0x56);
  EXPECT_EQ(ShiftState(true, false, true), 5);
}

TEST(DisplayChoice, XcbUnlessTheUserChoseAndAClearWordWithoutAnXServer) {
  EXPECT_EQ(ChooseQtPlatform(nullptr), "xcb");
  EXPECT_EQ(ChooseQtPlatform(""), "xcb");
  EXPECT_EQ(ChooseQtPlatform("wayland"), "wayland");
  EXPECT_EQ(ChooseQtPlatform("offscreen"), "offscreen");
  EXPECT_TRUE(NeedsXDisplay("xcb"));
  EXPECT_TRUE(NeedsXDisplay("xcb:nograb"));
  EXPECT_FALSE(NeedsXDisplay("offscreen"));
  EXPECT_FALSE(NeedsXDisplay("wayland"));

  EXPECT_EQ(NoXDisplayMessage(nullptr, "wayland-0"),
            "kwellor: no X display (DISPLAY is not set). KWELLOR draws through X11: on a Wayland "
            "desktop it needs XWayland, which sets DISPLAY.");
  EXPECT_EQ(NoXDisplayMessage(":7", nullptr),
            "kwellor: cannot open the X display ':7'. KWELLOR draws through X11: run it on an X "
            "desktop, or under Xvfb.");
}

}  // namespace
}  // namespace kwellor::qt
