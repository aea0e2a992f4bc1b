// One include, named by the build: see CMakeLists.txt.
#include PROBE_HEADER
