// The format reference's examples, read from the tree so that the tests hold the document to
// what the parser does.
#pragma once

#include <fstream>
#include <string>

namespace znr::test {

// The first ```text block after a heading of the format reference.
inline std::string documented_example(const std::string& heading = "## Worked example") {
  std::ifstream in(std::string(KWELLOR_SOURCE_DIR) + "/docs/world-format.md");
  std::string line, out;
  bool in_section = false, in_block = false;
  while (std::getline(in, line)) {
    if (line.starts_with(heading)) in_section = true;
    if (!in_section) continue;
    if (!in_block && line == "```text") {
      in_block = true;
    } else if (in_block && line == "```") {
      break;
    } else if (in_block) {
      out += line + "\n";
    }
  }
  return out;
}

}  // namespace znr::test
