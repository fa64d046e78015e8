// Finding the installed face for a LOGFONT, through a fontconfig configuration
// of our own.
//
// The configuration is built in memory the first time a face is asked for and
// never reads the user's or the system's fontconfig files, so the same request
// finds the same file on every machine that has the packaged fonts:
//   1. Arial, Helv, MS Sans Serif and System become Liberation Sans; Times New
//      Roman becomes Liberation Serif; Courier New becomes Liberation Mono.
//   2. Every request also names a generic family chosen by lfPitchAndFamily
//      (serif for FF_ROMAN, monospace for FF_MODERN or a fixed pitch,
//      sans-serif otherwise), which the configuration maps onto the Liberation
//      faces too; an empty face name asks for the generic family alone, and an
//      unknown face falls back to it.
//   3. Only outline fonts are considered; the weight and the slant of the
//      request pick among the family's styles.
#pragma once

#include <string>

#include "platform/fonts/logfont.h"

namespace platform::fonts {

struct FaceFile {
  std::string path;    // empty when nothing matched
  int index = 0;       // face index inside the file
  std::string family;  // the matched family, e.g. "Liberation Sans"
  int weight = 400;    // the face's own weight (OpenType scale)
  bool italic = false; // the face is an italic or oblique style
};

FaceFile MatchFace(const win::LOGFONT& lf);

// The face name a resolved font reports (GetTextFace): the requested name when
// the configuration maps it, otherwise the family that was found.
std::string ReportedFaceName(const win::LOGFONT& lf, const FaceFile& face);

}  // namespace platform::fonts
