// The axis of a model file that points up, as a user names it: x, y, z, -x, -y or -z. The
// tools take it as --up, the viewer from ZELNARY_IMPORT_UP; the importer child reads the
// variable, which it inherits.
#pragma once

#include <optional>
#include <string_view>

namespace znr {

inline constexpr const char* kUpAxisVariable = "ZELNARY_IMPORT_UP";
inline constexpr const char* kUpAxisValues = "x, y, z, -x, -y or -z";

struct UpAxis {
  int axis = 1;  // 0 x, 1 y, 2 z, of the file
  int sign = 1;  // +1 or -1
};

inline std::optional<UpAxis> parse_up_axis(std::string_view text) {
  UpAxis up;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    up.sign = text.front() == '-' ? -1 : 1;
    text.remove_prefix(1);
  }
  if (text.size() != 1) return std::nullopt;
  switch (text.front()) {
    case 'x':
    case 'X':
      up.axis = 0;
      return up;
    case 'y':
    case 'Y':
      up.axis = 1;
      return up;
    case 'z':
    case 'Z':
      up.axis = 2;
      return up;
    default:
      return std::nullopt;
  }
}

}  // namespace znr
