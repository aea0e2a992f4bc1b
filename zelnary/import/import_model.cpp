#include "zelnary/import/import_model.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "zelnary/import/stream_decode.h"
#include "zelnary/import/stream_format.h"
#include "zelnary/import/up_axis.h"
#include "zelnary/textures/regular_file.h"

namespace znr {
namespace {

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool is_world_file(const std::string& path) {
  for (const char* ext : {".wld", ".vindle", ".zelnary"})
    if (ends_with(path, ext)) return true;
  // Read without blocking: a FIFO named like a model must not hang the caller here.
  std::string head, error;
  if (!read_regular_head(path, 32, head, error)) return false;
  std::string_view first(head);
  if (first.starts_with("\xEF\xBB\xBF")) first.remove_prefix(3);
  static constexpr std::string_view kWord = "zelnary-world";
  return first.starts_with(kWord) && (first.size() == kWord.size() || first[kWord.size()] == ' ' ||
                                      first[kWord.size()] == '\t' || first[kWord.size()] == '\r' ||
                                      first[kWord.size()] == '\n');
}

bool import_model(const std::string& path, const std::string& importer,
                  const ImporterLimits& limits, Scene& out, std::string& error,
                  ImportTimings* timings) {
  out = Scene{};
  auto failed = [&](const std::string& reason) {
    error = path + ": import failed: " + reason;
    std::cerr << error << '\n';
    return false;
  };
  // The importer reads the user's up axis from the environment it inherits: a value it could
  // not read is refused here, where the message reaches the user.
  if (const char* up = std::getenv(kUpAxisVariable); up && *up && !parse_up_axis(up))
    return failed(std::string(kUpAxisVariable) + "=" + up + ": the up axis is one of " +
                  kUpAxisValues);
  double t = thread_cpu_seconds();
  ImporterRun run;
  std::string reason, head;
  // The importer would block for ever on a FIFO, or read a device without end.
  if (!read_regular_head(path, 0, head, reason)) return failed(reason);
  if (!run_importer(importer, path, limits, run, reason)) return failed(reason);
  if (timings) timings->read_seconds = thread_cpu_seconds() - t;

  if (run.output.empty())
    return failed(run.exit_code == 0 ? std::string("the importer sent nothing")
                                     : "the importer exited with status " +
                                           std::to_string(run.exit_code) + " and sent nothing");

  t = thread_cpu_seconds();
  DecodedImport decoded;
  if (!decode_import_stream(run.output.bytes(), decoded, reason)) return failed(reason);
  if (run.exit_code != 0)
    return failed("the importer exited with status " + std::to_string(run.exit_code));
  run.output.clear();  // freed before the scene grows any further
  if (timings) timings->decode_seconds = thread_cpu_seconds() - t;

  t = thread_cpu_seconds();
  ImportFit fit;
  if (!build_imported_scene(decoded.scene, fit, reason)) return failed(reason);
  if (timings) timings->build_seconds = thread_cpu_seconds() - t;

  for (const std::string& w : decoded.warnings) std::cerr << path << ": " << w << '\n';
  if (fit.scale != 1.0) {
    char note[160];
    std::snprintf(note, sizeof note,
                  "scaled by %g so that its largest extent of %g units becomes %g (to fly at the "
                  "viewer's speeds)",
                  fit.scale, fit.extent, kFitTarget);
    std::cerr << path << ": " << note << '\n';
  }
  out = std::move(decoded.scene);
  return true;
}

bool import_model(const std::string& path, Scene& out, std::string& error) {
  return import_model(path, importer_path(), importer_limits(), out, error);
}

}  // namespace znr
