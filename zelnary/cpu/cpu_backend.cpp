#include "zelnary/cpu/cpu_backend.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "zelnary/core/cores.h"
#include "zelnary/cpu/blended.h"
#include "zelnary/cpu/draw_list.h"
#include "zelnary/cpu/emit.h"
#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/occlusion.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/span_mode.h"
#include "zelnary/cpu/tiles.h"
#include "zelnary/cpu/worker_pool.h"
#include "zelnary/cpu/x11_presenter.h"
#include "zelnary/present/frame_pacer.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace znr {
namespace {

// The frame is shared between as many threads as the process may run on at once (its CPU
// affinity, which a container or taskset narrows), ZELNARY_RENDER_THREADS=1..64 to change.
int32_t render_threads() {
  if (const char* v = std::getenv("ZELNARY_RENDER_THREADS")) {
    const long n = std::strtol(v, nullptr, 10);
    if (n >= 1 && n <= kMaxPoolThreads) return static_cast<int32_t>(n);
  }
  return static_cast<int32_t>(std::clamp<long>(usable_cores(), 1, kMaxPoolThreads));
}

// Occlusion culling is on unless ZELNARY_NO_OCCLUSION is set (to anything but 0), read once.
bool occlusion_by_default() {
  static const bool on = [] {
    const char* v = std::getenv("ZELNARY_NO_OCCLUSION");
    return v == nullptr || std::string(v) == "0" || *v == '\0';
  }();
  return on;
}

double now_ms() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Blocks freed inside the allocator's heaps (rather than unmapped) stay resident until it is
// asked to give their pages back.
void give_back_free_heap() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace

double CpuFrameStats::imbalance() const {
  if (busy_ms.empty()) return 0.0;
  double mean = 0.0;
  for (double b : busy_ms) mean += b;
  mean /= static_cast<double>(busy_ms.size());
  double worst = 0.0;
  for (double b : busy_ms) worst = std::max(worst, std::fabs(b - mean));
  return mean > 0.0 ? worst / mean : 0.0;
}

// Chunks emitted as one piece of work: enough to outweigh taking it from the queue, few enough
// that the threads finish together.
constexpr size_t kChunksPerBatch = 4;
// Polygons seen from behind are emitted in batches of this many.
constexpr size_t kBehindPerBatch = 512;

// Occlusion culling draws the nearest chunks first, up to these shares of the polygons in
// view, and tests the chunks of each later pass against the depth drawn before it. A frame
// with fewer chunks in view is drawn in one pass: the test could not pay for the passes.
// Measured on the 1M-triangle world: ten passes cull more than seven or two, and 4-pixel
// depth blocks more than 8.
constexpr double kPassShares[] = {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9};
constexpr size_t kMinChunksToCull = 64;
constexpr size_t kMinChunksPerPass = 16;  // smaller passes are joined to the next
// A pass keeps a copy of every polygon it draws until it is drawn; past this many, the frame
// is drawn in more passes, so that a view of millions of polygons does not hold them all
// (a quarter of a million cost about 30 MB).
constexpr uint64_t kMaxPassPolygons = uint64_t{1} << 18;
// After a frame whose passes culled nothing (a view from above, where nothing near stands in
// front of anything far), this many frames are drawn in one pass before trying again: a pass
// costs a sweep of the whole picture through memory, about a tenth of such a frame. A view
// turned towards hills waits at most this long for its culling.
constexpr uint32_t kFramesWithoutCulling = 15;

// Every this many frames the bins give back what the frames since did not need (about two
// seconds at 60 frames a second: long enough that views alternating between busy and quiet
// do not grow them again and again).
constexpr uint32_t kFramesBetweenTrims = 120;

struct CpuBackend::Impl {
  std::vector<TileBins> bins;     // one per thread
  std::vector<DrawList> blended;  // one per thread: the frame's blended polygons so far
  std::vector<std::vector<BehindPolygon>> behind;  // one per thread: seen from behind, put aside
  DrawList blend_order;                            // all of them, far to near
  TileBins blend_bins;
  Framebuffer fb;
  CoarseDepth coarse;
  X11Presenter x11;
  FramePacer pacer;
  std::unique_ptr<WorkerPool> pool;   // made on the first frame
  PosedSkins posed;                   // the frame's skins, posed by the pool's threads
  const PosedSkins* skins = nullptr;  // posed, while the frame has skins in view
  uint32_t window = 0;
  bool unseen = false;  // the window is unmapped, minimised or wholly covered
  std::string failure;  // the CPU back end never fails over; stays empty
  CpuFrameStats stats;
  bool occlusion = occlusion_by_default();
  uint64_t pass_cap = kMaxPassPolygons;
  uint32_t frames_since_trim = 0;
  uint32_t frames_without_culling = 0;    // frames left to draw without trying the culling
  uint32_t frames_without_back_pass = 0;  // frames left to draw both sides of polygons at once
  // The span loops for this processor, chosen once here rather than for every span.
  const SpanLoops& loops = span_loops(preferred_span_isa());

  // Emits, bins and draws frame.chunks[begin, end) (those of them not hidden behind coarse
  // when test; of their polygons' sides only sides), then frame.objects[objects_begin,
  // objects_end).
  void draw_pass(const Frame& frame, size_t begin, size_t end, bool test, size_t objects_begin,
                 size_t objects_end, std::optional<uint32_t> background, bool perspective,
                 bool keep_depth, Sides sides = Sides::both);
  // The polygons of the chunks the passes put aside as seen from behind, but for those the
  // picture so far hides.
  void draw_behind(const Frame& frame, bool perspective);
  // The blended polygons the passes kept, over the finished opaque picture.
  void draw_blended(bool perspective);
};

void CpuBackend::Impl::draw_blended(bool perspective) {
  if (std::all_of(blended.begin(), blended.end(),
                  [](const DrawList& b) { return b.polygons.empty(); })) {
    return;
  }
  order_blended(blended, blend_order);
  const TileGrid grid(fb.width, fb.height);
  blend_bins.reset(grid);
  bin_in_order(blend_order, grid, blend_bins);
  rasterize_tiles(std::span(&blend_bins, 1), grid, std::nullopt, perspective, loops, *pool, fb,
                  stats.busy_ms);
}

void CpuBackend::Impl::draw_pass(const Frame& frame, size_t begin, size_t end, bool test,
                                 size_t objects_begin, size_t objects_end,
                                 std::optional<uint32_t> background, bool perspective,
                                 bool keep_depth, Sides sides) {
  const int32_t threads = pool->size();
  // Batches of nearest-first chunks, then of objects, taken by whichever thread is free, emitted
  // straight into the thread's tile bins. The batch's number keeps the order.
  const size_t chunk_batches = (end - begin + kChunksPerBatch - 1) / kChunksPerBatch;
  // An object is a batch of its own: one may hold tens of thousands of polygons (a shared
  // mesh's placement), and a few such in a pass must still go to every thread.
  const size_t batches = chunk_batches + (objects_end - objects_begin);
  blended.resize(static_cast<size_t>(threads));
  const TileGrid grid(fb.width, fb.height);
  bins.resize(static_cast<size_t>(threads));
  for (TileBins& b : bins) b.reset(grid);
  std::atomic<size_t> next{0};
  std::atomic<uint64_t> polygons{0}, culled{0};
  if (sides == Sides::front) behind.resize(static_cast<size_t>(threads));
  pool->run([&](int32_t i) {
    const double t0 = now_ms();
    TileBins& mine = bins[static_cast<size_t>(i)];
    DrawList& kept = blended[static_cast<size_t>(i)];
    std::vector<BehindPolygon>* aside =
        sides == Sides::front ? &behind[static_cast<size_t>(i)] : nullptr;
    // Chunks [a, b), or objects [oa, ob), as batch k.
    auto emit = [&](size_t a, size_t b, size_t oa, size_t ob, size_t k) {
      const size_t before = mine.all.polygons.size();
      emit_range_binned(frame, a, b, oa, ob, static_cast<uint32_t>(k), grid, mine, skins, sides,
                        aside);
      keep_blended(mine.all, static_cast<uint32_t>(k), kept);
      mine.all.blended.clear();
      polygons.fetch_add(mine.all.polygons.size() - before, std::memory_order_relaxed);
    };
    for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < batches;) {
      if (k >= chunk_batches) {
        const size_t o = objects_begin + (k - chunk_batches);
        emit(0, 0, o, o + 1, k);
        continue;
      }
      const size_t a = begin + k * kChunksPerBatch, b = std::min(a + kChunksPerBatch, end);
      if (!test) {
        emit(a, b, 0, 0, k);
        continue;
      }
      // Runs of chunks that may show, emitted together; the hidden ones between are skipped.
      size_t run = a;
      for (size_t c = a; c <= b; ++c) {
        bool covered = false;
        if (c < b) {
          const Chunk& chunk = frame.index->chunks[frame.chunks[c]];
          covered = coarse.hides(frame.view, chunk.lo, chunk.hi);
        }
        if (c < b && !covered) continue;
        if (run < c) emit(run, c, 0, 0, k);
        run = c + 1;
        if (covered) culled.fetch_add(1, std::memory_order_relaxed);
      }
    }
    stats.busy_ms[static_cast<size_t>(i)] += now_ms() - t0;
  });
  rasterize_tiles(bins, grid, background, perspective, loops, *pool, fb, stats.busy_ms,
                  keep_depth ? &coarse : nullptr);
  stats.polygons += polygons.load();
  stats.most_in_a_pass = std::max(stats.most_in_a_pass, polygons.load());
  stats.chunks_culled += culled.load();
}

void CpuBackend::Impl::draw_behind(const Frame& frame, bool perspective) {
  // The polygons the threads put aside, in batches taken by whichever thread is free, at most
  // pass_cap of them drawn at a time.
  std::vector<size_t> starts{0};
  for (const std::vector<BehindPolygon>& b : behind) starts.push_back(starts.back() + b.size());
  const TileGrid grid(fb.width, fb.height);
  for (size_t first = 0; first < starts.back(); first += pass_cap) {
    const size_t last = std::min<size_t>(first + pass_cap, starts.back());
    const size_t batches = (last - first + kBehindPerBatch - 1) / kBehindPerBatch;
    for (TileBins& b : bins) b.reset(grid);
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> polygons{0}, hidden{0};
    pool->run([&](int32_t i) {
      const double t0 = now_ms();
      TileBins& mine = bins[static_cast<size_t>(i)];
      DrawList& kept = blended[static_cast<size_t>(i)];
      for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < batches;) {
        // Batch k may span the end of one thread's list and the start of the next.
        size_t at = first + k * kBehindPerBatch;
        const size_t end = std::min(at + kBehindPerBatch, last);
        while (at < end) {
          const auto t = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), at) -
                                             starts.begin() - 1);
          const size_t n = std::min(end, starts[t + 1]) - at;
          const size_t before = mine.all.polygons.size();
          const auto part = std::span(behind[t]).subspan(at - starts[t], n);
          hidden.fetch_add(
              emit_behind_binned(frame, part, static_cast<uint32_t>(k), grid, mine, coarse, fb),
              std::memory_order_relaxed);
          keep_blended(mine.all, static_cast<uint32_t>(k), kept);
          mine.all.blended.clear();
          polygons.fetch_add(mine.all.polygons.size() - before, std::memory_order_relaxed);
          at += n;
        }
      }
      stats.busy_ms[static_cast<size_t>(i)] += now_ms() - t0;
    });
    rasterize_tiles(bins, grid, std::nullopt, perspective, loops, *pool, fb, stats.busy_ms,
                    nullptr);
    stats.polygons += polygons.load();
    stats.most_in_a_pass = std::max(stats.most_in_a_pass, polygons.load());
    stats.polygons_hidden += hidden.load();
  }
  for (std::vector<BehindPolygon>& b : behind) b.clear();
}

namespace {

// The polygons frame.chunks[i] draws: its chosen level's, or its own.
uint64_t chunk_polygons(const Frame& frame, size_t i) {
  const SceneIndex& index = *frame.index;
  const Chunk& c = index.chunks[frame.chunks[i]];
  const uint32_t level = i < frame.chunk_level.size() ? frame.chunk_level[i] : 0;
  if (level > 0 && level <= c.level_count) {
    const ChunkLevel& l = index.levels[c.first_level + level - 1];
    return l.end - l.begin;
  }
  return c.end - c.begin;
}

// The ends of runs of frame.chunks[0, count) (or of frame.objects) of at most cap polygons each
// (a single larger one alone); the last is count, none for count 0.
std::vector<size_t> pass_caps(const Frame& frame, size_t count, bool objects, uint64_t cap) {
  std::vector<size_t> ends;
  uint64_t sum = 0;
  for (size_t i = 0; i < count; ++i) {
    uint64_t n = 0;
    if (objects) {
      const VisibleObject& o = frame.objects[i];
      const ObjectGroup& g = frame.index->objects[o.object];
      n = o.level > 0 && o.level <= g.level_count
              ? frame.index->levels[g.first_level + o.level - 1u].end -
                    frame.index->levels[g.first_level + o.level - 1u].begin
              : g.end - g.begin;
    } else {
      n = chunk_polygons(frame, i);
    }
    if (sum > 0 && sum + n > cap) {
      ends.push_back(i);
      sum = 0;
    }
    sum += n;
  }
  if (count > 0) ends.push_back(count);
  return ends;
}

}  // namespace

CpuBackend::CpuBackend() : impl_(std::make_unique<Impl>()) {}
CpuBackend::~CpuBackend() = default;

BackendStatus CpuBackend::prepare(const Scene&, const SceneIndex&) {
  return BackendStatus::ok;  // it draws straight from the scene
}

BackendStatus CpuBackend::acquire_window(uint32_t window, int32_t& width, int32_t& height) {
  impl_->window = window;
  bool visible = true;
  if (!impl_->x11.window_size(window, width, height, &visible)) return BackendStatus::window_gone;
  impl_->unseen = !visible;
  impl_->fb.resize(width, height);
  return BackendStatus::ok;
}

BackendStatus CpuBackend::acquire_offscreen(int32_t width, int32_t height) {
  impl_->unseen = false;
  impl_->fb.resize(width, height);
  return BackendStatus::ok;
}

bool CpuBackend::keeps_its_frame() const {
  return !impl_->unseen;  // an unseen window's frames are not drawn: there is none to keep
}

BackendStatus CpuBackend::draw(const Frame& frame, const RenderSettings& settings) {
  Impl& m = *impl_;
  if (m.unseen) {  // nobody would see it: no raster pass, only the pacing in present()
    m.stats.polygons = 0;
    m.stats.chunks_culled = 0;
    m.stats.polygons_hidden = 0;
    return BackendStatus::ok;
  }
  if (!m.pool) m.pool = std::make_unique<WorkerPool>(render_threads());
  m.stats.busy_ms.assign(static_cast<size_t>(m.pool->size()), 0.0);
  m.stats.most_in_a_pass = 0;
  m.stats.polygons = 0;
  m.stats.chunks_culled = 0;
  m.stats.polygons_hidden = 0;
  const bool perspective = perspective_for_accuracy(settings.perspective_accuracy);
  // Skins are posed here, by every render thread its share, before any polygon is emitted.
  m.skins = nullptr;
  m.stats.skin_ms = 0.0;
  if (m.posed.begin(frame)) {
    const double start = now_ms();
    const auto parts = static_cast<size_t>(m.pool->size());
    m.pool->run([&](int32_t i) {
      const double t0 = now_ms();
      m.posed.pose(frame, static_cast<size_t>(i), parts);
      m.stats.busy_ms[static_cast<size_t>(i)] += now_ms() - t0;
    });
    m.skins = &m.posed;
    m.stats.skin_ms = now_ms() - start;
  }
  const size_t chunks = frame.chunks.size();
  // Where the passes may end: at the chunks that bring the polygons drawn up to each share.
  std::vector<size_t> ends;
  const bool try_culling = m.occlusion && chunks >= kMinChunksToCull && frame.index != nullptr &&
                           m.frames_without_culling == 0;
  if (m.frames_without_culling > 0) --m.frames_without_culling;
  // Polygons seen from behind are drawn in a pass of their own after all the others, and only
  // where what those drew does not hide them.
  const bool back_last = m.occlusion && chunks >= kMinChunksToCull && frame.index != nullptr &&
                         m.frames_without_back_pass == 0;
  if (m.frames_without_back_pass > 0) --m.frames_without_back_pass;
  if (try_culling || back_last) m.coarse.reset(m.fb.width, m.fb.height);
  if (try_culling) {
    uint64_t total = 0, sum = 0;
    for (size_t i = 0; i < chunks; ++i) total += chunk_polygons(frame, i);
    size_t c = 0;
    for (double share : kPassShares) {
      while (c < chunks && static_cast<double>(sum) < share * static_cast<double>(total)) {
        sum += chunk_polygons(frame, c);
        ++c;
      }
      if (c >= (ends.empty() ? 0 : ends.back()) + kMinChunksPerPass && c < chunks)
        ends.push_back(c);
    }
  }
  ends.push_back(chunks);
  // Where the passes must end to stay within kMaxPassPolygons, over the chunks and then over
  // the objects.
  const std::vector<size_t> chunk_caps = pass_caps(frame, chunks, false, m.pass_cap);
  const std::vector<size_t> object_caps = pass_caps(frame, frame.objects.size(), true, m.pass_cap);
  // The passes go on while they cull: when a tested pass culls nothing, the view has little in
  // front to hide the rest behind, and the rest is drawn without the test in as few passes as
  // the cap allows (seven passes that cull nothing cost about 3% of a frame of the 1M-triangle
  // world).
  size_t begin = 0, p = 0, cap = 0;
  bool test = false, culling = try_culling;
  for (DrawList& b : m.blended) b.clear();
  do {  // at least once: the first pass clears the picture to the background
    while (cap < chunk_caps.size() && chunk_caps[cap] <= begin) ++cap;
    while (p < ends.size() && ends[p] <= begin) ++p;
    const size_t end = std::min(culling && p < ends.size() ? ends[p] : chunks,
                                cap < chunk_caps.size() ? chunk_caps[cap] : chunks);
    const uint64_t culled_before = m.stats.chunks_culled;
    // The last of the chunks' passes takes the first run of objects too.
    const size_t objects = end == chunks && !object_caps.empty() ? object_caps[0] : 0;
    m.draw_pass(frame, begin, end, test, 0, objects,
                begin == 0 ? std::optional<uint32_t>(frame.background) : std::nullopt, perspective,
                (culling && end < chunks) || back_last, back_last ? Sides::front : Sides::both);
    test = culling && (begin == 0 || m.stats.chunks_culled > culled_before);
    culling = test;
    begin = end;
  } while (begin < chunks);
  if (try_culling && m.stats.chunks_culled == 0) m.frames_without_culling = kFramesWithoutCulling;
  if (back_last) {
    const uint64_t hidden_before = m.stats.polygons_hidden, drawn_before = m.stats.polygons;
    m.draw_behind(frame, perspective);
    // It pays where most of them are hidden (the far sides of hills); seen from above, few are
    // either, and the pass costs more than it saves.
    if (m.stats.polygons_hidden - hidden_before < m.stats.polygons - drawn_before)
      m.frames_without_back_pass = kFramesWithoutCulling;
  }
  for (size_t o = 1; o < object_caps.size(); ++o) {
    m.draw_pass(frame, 0, 0, false, object_caps[o - 1], object_caps[o], std::nullopt, perspective,
                false);
  }
  m.draw_blended(perspective);
  if (++m.frames_since_trim >= kFramesBetweenTrims) {
    m.frames_since_trim = 0;
    bool gave = false;
    for (TileBins& b : m.bins) gave = b.trim() || gave;
    if (gave) give_back_free_heap();
  }
  return BackendStatus::ok;
}

BackendStatus CpuBackend::present() {
  Impl& m = *impl_;
  if (!m.unseen && !m.x11.present(m.window, m.fb)) return BackendStatus::window_gone;
  m.pacer.wait(m.x11.refresh_hz());
  return BackendStatus::ok;
}

void CpuBackend::read_back(Image& out) {
  out.width = impl_->fb.width;
  out.height = impl_->fb.height;
  out.texels = impl_->fb.color;
}

void CpuBackend::release() {
  Impl& m = *impl_;
  m.x11.release();
  m.blended.clear();
  m.blend_order = DrawList{};
  m.blend_bins = TileBins{};
  m.bins.clear();
  m.pool.reset();
  m.fb = Framebuffer{};
  m.pacer.reset();
  m.window = 0;
}

const std::string& CpuBackend::failure() const {
  return impl_->failure;
}

const CpuFrameStats& CpuBackend::frame_stats() const {
  return impl_->stats;
}

void CpuBackend::set_occlusion_culling(bool on) {
  impl_->occlusion = on;
  impl_->frames_without_culling = 0;
}

void CpuBackend::set_pass_polygon_cap(uint64_t polygons) {
  impl_->pass_cap = std::max<uint64_t>(polygons, 1);
}

bool CpuBackend::used_shared_memory() const {
  return impl_->x11.used_shared_memory();
}

}  // namespace znr
