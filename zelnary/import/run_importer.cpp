#include "zelnary/import/run_importer.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace znr {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

double env_number(const char* name, double fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  const double d = std::strtod(v, &end);
  return (*end == '\0' && std::isfinite(d) && d > 0.0) ? d : fallback;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string signal_text(int sig) {
  switch (sig) {
    case SIGXCPU:
      return "went over its CPU time limit";
    case SIGSEGV:
      return "crashed (segmentation fault)";
    case SIGABRT:
      return "crashed (aborted)";
    case SIGBUS:
      return "crashed (bus error)";
    case SIGFPE:
      return "crashed (arithmetic fault)";
    case SIGILL:
      return "crashed (illegal instruction)";
    case SIGKILL:
      return "was killed (SIGKILL: by another program, or by the system for want of memory)";
    case SIGTERM:
    case SIGINT:
    case SIGHUP:
      return std::string("was ended by another program (") + sigabbrev_np(sig) + ")";
    case SIGXFSZ:
      return "tried to write a file and was stopped";
    default:
      return "was killed by signal " + std::to_string(sig);
  }
}

// Between fork and exec only async-signal-safe calls: the argument arrays are built before.
[[noreturn]] void exec_child(int out_fd, int null_fd, const ImporterLimits& limits,
                             const char* const* argv) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  ::dup2(null_fd, 0);
  ::dup2(out_fd, 1);
  ::dup2(null_fd, 2);  // the one line about a failure is the engine's to print
  const rlimit cpu{limits.cpu_seconds, limits.cpu_seconds + 1};
  ::setrlimit(RLIMIT_CPU, &cpu);
  const rlimit no_files{0, 0};  // it never writes files
  ::setrlimit(RLIMIT_FSIZE, &no_files);
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  if (!kUnderAddressSanitizer) {
    const rlimit as{limits.address_space_bytes, limits.address_space_bytes};
    ::setrlimit(RLIMIT_AS, &as);
  }
  ::execv(argv[0], const_cast<char* const*>(argv));
  ::_exit(127);
}

}  // namespace

ImporterLimits importer_limits() {
  ImporterLimits limits;
  limits.timeout_seconds = env_number("ZELNARY_IMPORT_TIMEOUT", limits.timeout_seconds);
  limits.max_output_bytes = static_cast<uint64_t>(
      env_number("ZELNARY_IMPORT_MAX_BYTES", static_cast<double>(limits.max_output_bytes)));
  return limits;
}

std::string importer_path() {
  if (const char* v = std::getenv("ZELNARY_IMPORTER"); v && *v) return v;
  Dl_info info{};
  std::string holder;
  if (::dladdr(reinterpret_cast<void*>(&importer_path), &info) && info.dli_fname) {
    char resolved[PATH_MAX];
    if (std::strchr(info.dli_fname, '/') && ::realpath(info.dli_fname, resolved)) holder = resolved;
  }
  if (holder.empty()) {  // the main program: dladdr names it as it was started
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) holder.assign(self, static_cast<size_t>(n));
  }
  // Beside the holder in the build tree and beside the engine when installed; an installed
  // tool in bin/ finds it in lib/kwellor/, where the install puts it beside the viewer.
  const std::string folder = folder_of(holder);
  const std::string beside = folder + "/zelnary-import";
  if (::access(beside.c_str(), X_OK) == 0) return beside;
  const std::string installed = folder_of(folder) + "/lib/kwellor/zelnary-import";
  if (::access(installed.c_str(), X_OK) == 0) return installed;
  return beside;
}

bool run_importer(const std::string& importer, const std::string& model,
                  const ImporterLimits& limits, ImporterRun& run, std::string& error) {
  run = ImporterRun{};
  if (::access(importer.c_str(), X_OK) != 0) {
    error = "cannot start the importer " + importer + ": " + std::strerror(errno);
    return false;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);  // fewer wake-ups for large scenes; best effort
  const char* argv[] = {importer.c_str(), model.c_str(), nullptr};
  const pid_t pid = ::fork();
  if (pid == 0) exec_child(fds[1], null_fd, limits, argv);
  ::close(fds[1]);
  if (null_fd >= 0) ::close(null_fd);
  if (pid < 0) {
    ::close(fds[0]);
    error = std::string("cannot start the importer: ") + std::strerror(errno);
    return false;
  }

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(limits.timeout_seconds));
  std::string failure;
  const std::string seconds = std::to_string(static_cast<int>(limits.timeout_seconds)) + " s";
  auto timeout_text = [&]() -> std::string {
    // A child halted by a signal (SIGSTOP, SIGTSTP) is not slow: say so.
    int st = 0;
    if (::waitpid(pid, &st, WNOHANG | WUNTRACED) == pid && WIFSTOPPED(st))
      return std::string("was halted (") + sigabbrev_np(WSTOPSIG(st)) +
             ") and did not go on within " + seconds + "; it was ended";
    return "took longer than " + seconds + " and was stopped";
  };
  const bool cancellable = limits.progress != nullptr;
  auto cancelled = [&] { return cancellable && limits.progress->cancelled(); };
  const std::string cancel_text = "was stopped: the load was cancelled";
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      failure = timeout_text();
      break;
    }
    if (cancelled()) {
      failure = cancel_text;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    const int64_t wait =
        cancellable ? std::min<int64_t>(left.count(), kCancelPollMs) : left.count();
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(wait, INT_MAX)));
    if (ready <= 0) continue;  // interrupted or idle: the checks above decide
    if (!run.output.make_room(1 << 20)) {
      failure = "wrote more than the engine could hold and was stopped";
      break;
    }
    const ssize_t n = ::read(fds[0], run.output.end(), 1 << 20);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of the stream (or a broken pipe): the child is done
    run.output.grew(static_cast<size_t>(n));
    if (run.output.size() > limits.max_output_bytes) {
      failure = "wrote more than " + std::to_string(limits.max_output_bytes >> 20) +
                " MiB and was stopped";
      break;
    }
  }
  ::close(fds[0]);
  // A child that closed its output may still linger: it gets until the deadline to exit.
  int status = 0;
  bool reaped = false;
  while (failure.empty() && !reaped) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      reaped = true;
    } else if (r < 0 && errno != EINTR) {
      failure = "could not be waited for";
    } else if (Clock::now() >= deadline) {
      failure = timeout_text();
    } else if (cancelled()) {
      failure = cancel_text;
    } else {
      ::usleep(1000);
    }
  }
  if (!reaped) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (!failure.empty()) {
    run.output.clear();
    error = "the importer " + failure;
    return false;
  }
  if (WIFSIGNALED(status)) {
    run.output.clear();
    error = "the importer " + signal_text(WTERMSIG(status));
    return false;
  }
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (run.exit_code == 127 && run.output.empty()) {
    error = "cannot start the importer " + importer;
    return false;
  }
  return true;
}

}  // namespace znr
