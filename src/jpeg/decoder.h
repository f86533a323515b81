// The JPEG decoder object the viewer owns. Its stages (streams, tables,
// markers, scans, reconstruction) are filled in stage by stage; the viewer
// creates it in its initial state and destroys it through the virtual
// destructor.
#pragma once

namespace vv {

class CJPEGDecoder {
 public:
  CJPEGDecoder() = default;
  virtual ~CJPEGDecoder() = default;
  CJPEGDecoder(const CJPEGDecoder&) = delete;
  CJPEGDecoder& operator=(const CJPEGDecoder&) = delete;
};

}  // namespace vv
