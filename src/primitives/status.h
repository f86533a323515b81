// Status codes shared by every primitive: 0 success, positive a warning
// (the operation completed), negative a failure (outputs left untouched).
#pragma once
#include <cstdint>

namespace vv {

enum PrimitiveStatus : int32_t {
  StatusOk = 0,
  StatusDivideByZero = 6,             // warning: a divisor was zero, result saturated
  StatusBadCoefficientPosition = -2,  // a decoded position lies outside the block
  StatusBadArgument = -5,             // quality, Ss/Se/Al, precision, predictor out of range
  StatusSizeError = -6,               // a length, width, height or capacity below 1
  StatusNullPointer = -8,
  StatusStepError = -14,              // a row step below 1
  StatusShiftError = -32,             // a negative shift count
  StatusBufferEnd = -62,              // output full, or input ended before the bits needed
  StatusBadValue = -63,               // no Huffman code matched, or bits missing after a marker
  StatusBadTable = -64,               // invalid Huffman table, or a symbol without code
};

// Width and height of an image argument, both signed as the callers pass them.
struct ImageSize {
  int32_t width;
  int32_t height;
};

}  // namespace vv
