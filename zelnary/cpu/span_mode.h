// How the span rasterizer divides at High: several pixels at once (the default), or one pixel at
// a time, the reference the vector path must match bit for bit. ZELNARY_SCALAR_SPANS=1 at start
// picks the scalar one (to compare the two in benchmarks); tests switch with set_vector_spans.
#pragma once

namespace znr {

bool vector_spans();
void set_vector_spans(bool on);

}  // namespace znr
