// zelnary-import MODEL: reads a model file of another format with assimp and writes it as an
// import stream on standard output. The engine runs it in a child process under limits, so
// that no file can crash or hang the viewer; it writes nothing else anywhere.
// zelnary-import --extensions: prints the file patterns assimp reads ("*.3ds;*.blend;..."),
// which the build turns into the viewer's Open dialog entry for models.
#include <cstdio>
#include <cstring>

#include "read_model.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--extensions") == 0) {
    std::puts(znr::importer::model_patterns().c_str());
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: zelnary-import MODEL > STREAM\n       zelnary-import --extensions\n");
    return 2;
  }
  znr::importer::StreamWriter out(1);
  return znr::importer::read_model(argv[1], out);
}
