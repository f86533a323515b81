// The --encode mode of vvbench: the project's encoder against libjpeg-turbo's
// compressor on the same pictures.
#pragma once

namespace vv {

// args: [--quality Q] [--runs N] PICTURE... (binary PPM/PGM or BMP). Prints
// "file ours_ms libjpeg-turbo_ms ratio" per picture (ratio = theirs / ours,
// medians) and a last "geomean ratio R" line. Returns the exit status: 0,
// 1 when a picture could not be read or encoded, 2 for a usage error.
int RunEncodeBench(int argc, char** argv);

}  // namespace vv
