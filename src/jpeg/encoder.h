// The baseline JPEG encoder that capture owns, destroyed through its virtual
// destructor.
#pragma once

namespace vv {

class CJPEGEncoder {
 public:
  CJPEGEncoder() = default;
  virtual ~CJPEGEncoder() = default;
  CJPEGEncoder(const CJPEGEncoder&) = delete;
  CJPEGEncoder& operator=(const CJPEGEncoder&) = delete;
};

}  // namespace vv
