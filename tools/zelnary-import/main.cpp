// zelnary-import MODEL: reads a model file of another format with assimp and writes it as an
// import stream on standard output. The engine runs it in a child process under limits, so
// that no file can crash or hang the viewer; it writes nothing else anywhere.
#include <cstdio>

#include "read_model.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zelnary-import MODEL > STREAM\n");
    return 2;
  }
  znr::importer::StreamWriter out(1);
  return znr::importer::read_model(argv[1], out);
}
