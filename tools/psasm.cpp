// psasm: assembles one dewarp pixel-shader source into the raw little-endian
// token stream that the library embeds as a resource.
//   psasm SOURCE.psa OUTPUT.pso
// Exit status 0 success, 1 an assembly or file failure (message on stderr as
// SOURCE:LINE: text), 2 a usage error. A failed run leaves any existing
// output file as it was.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shader_assembler.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: psasm SOURCE.psa OUTPUT.pso\n");
    return 2;
  }
  std::ifstream input(argv[1], std::ios::binary);
  if (!input) {
    std::fprintf(stderr, "%s: cannot read\n", argv[1]);
    return 1;
  }
  std::stringstream text;
  text << input.rdbuf();
  std::vector<uint32_t> tokens;
  std::string error;
  if (!vv::AssembleShader(text.str(), &tokens, &error)) {
    // "line N: ..." becomes "SOURCE:N: ..." so editors can jump to it.
    if (error.compare(0, 5, "line ") == 0) error.replace(0, 5, "");
    std::fprintf(stderr, "%s:%s\n", argv[1], error.c_str());
    return 1;
  }
  std::vector<unsigned char> bytes;
  for (uint32_t token : tokens)
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<unsigned char>(token >> shift));
  std::string temporary = std::string(argv[2]) + ".tmp";
  FILE* output = std::fopen(temporary.c_str(), "wb");
  bool written = output != nullptr &&
                 std::fwrite(bytes.data(), 1, bytes.size(), output) == bytes.size();
  if (output != nullptr && std::fclose(output) != 0) written = false;
  if (!written || std::rename(temporary.c_str(), argv[2]) != 0) {
    std::remove(temporary.c_str());
    std::fprintf(stderr, "%s: cannot write\n", argv[2]);
    return 1;
  }
  return 0;
}
