// What the command line asks for. The whole command line is a world path first: "--help" and
// "--version" answer only when no file of that name exists.
#pragma once

#include <string>

namespace kwellor {

enum class ProgramRequest { kRun, kHelp, kVersion };

ProgramRequest RequestOf(const std::string& commandLine, bool fileExists);

std::string UsageText();
std::string VersionText();

}  // namespace kwellor
