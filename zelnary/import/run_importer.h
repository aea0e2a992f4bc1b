// Running zelnary-import in a child process under limits and collecting what it writes on its
// standard output. The child can crash, hang or flood the pipe: each ends the run with a reason
// and the child killed and reaped, never with the caller stuck or out of memory.
#pragma once

#include <cstdint>
#include <string>

#include "zelnary/core/load_progress.h"
#include "zelnary/import/stream_buffer.h"

namespace znr {

struct ImporterLimits {
  double timeout_seconds = 60.0;              // wall clock, then SIGKILL
  uint64_t cpu_seconds = 60;                  // RLIMIT_CPU
  uint64_t address_space_bytes = 8ull << 30;  // RLIMIT_AS (not set under AddressSanitizer)
  uint64_t max_output_bytes = 1ull << 30;     // the stream, then SIGKILL
  // The load this run belongs to: its cancel, from another thread, kills the child at once
  // (within kCancelPollMs).
  const LoadProgress* progress = nullptr;
};

// How often a running child is checked for a cancelled load.
constexpr int kCancelPollMs = 50;

// The defaults, where ZELNARY_IMPORT_TIMEOUT (seconds) and ZELNARY_IMPORT_MAX_BYTES may lower
// the wall clock and the stream size (tests use them to stay quick).
ImporterLimits importer_limits();

// ZELNARY_IMPORTER when set, else zelnary-import in the folder of the binary that holds the
// engine (libzelnary3.so, or a tool linked with the engine), else in lib/kwellor/ beside that
// folder (an installed tool in bin/).
std::string importer_path();

struct ImporterRun {
  StreamBuffer output;
  int exit_code = 0;  // when it exited by itself
};

// false: error says why (it could not start, was killed by a signal, ran out of time, wrote
// too much). true: the child exited by itself, with all it wrote in run.output.
bool run_importer(const std::string& importer, const std::string& model,
                  const ImporterLimits& limits, ImporterRun& run, std::string& error);

}  // namespace znr
