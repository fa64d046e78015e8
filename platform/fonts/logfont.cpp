// Face-name helpers of the LOGFONT record (see logfont.h).
#include "platform/fonts/logfont.h"

#include <cstring>

namespace win {

std::string FaceNameOf(const LOGFONT& lf) {
  const void* end = std::memchr(lf.lfFaceName, 0, LF_FACESIZE);
  const size_t length = end ? static_cast<const char*>(end) - lf.lfFaceName : LF_FACESIZE;
  return std::string(lf.lfFaceName, length);
}

void SetFaceName(LOGFONT& lf, const std::string& face) {
  std::memset(lf.lfFaceName, 0, LF_FACESIZE);
  std::memcpy(lf.lfFaceName, face.data(), face.size() < LF_FACESIZE ? face.size() : LF_FACESIZE - 1);
}

}  // namespace win
