// Face matching through a private fontconfig configuration (see fontmatch.h).
#include "platform/fonts/fontmatch.h"

#include <fontconfig/fontconfig.h>

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <strings.h>

#include "platform/codepage.h"

namespace platform::fonts {

namespace {

struct Alias {
  const char* face;
  const char* family;
};

// The faces the toolkit and stored documents name, and what stands in for them.
constexpr Alias kAliases[] = {
    {"Arial", "Liberation Sans"},
    {"Helv", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"System", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"sans-serif", "Liberation Sans"},
    {"serif", "Liberation Serif"},
    {"monospace", "Liberation Mono"},
};

std::string ConfigText() {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
      "  <dir>/usr/share/fonts</dir>\n"
      "  <dir>/usr/local/share/fonts</dir>\n"
      "  <cachedir>/var/cache/fontconfig</cachedir>\n";
  for (const Alias& a : kAliases) {
    xml += "  <alias binding=\"same\"><family>";
    xml += a.face;
    xml += "</family><prefer><family>";
    xml += a.family;
    xml += "</family></prefer></alias>\n";
  }
  xml += "</fontconfig>\n";
  return xml;
}

// The one configuration of the process; fonts are made on the UI thread, the
// lock only guards the first build.
FcConfig* Config() {
  static std::once_flag once;
  static FcConfig* config = nullptr;
  std::call_once(once, [] {
    FcConfig* c = FcConfigCreate();
    const std::string xml = ConfigText();
    if (!c || !FcConfigParseAndLoadFromMemory(c, reinterpret_cast<const FcChar8*>(xml.c_str()), FcTrue) ||
        !FcConfigBuildFonts(c))
      throw std::runtime_error("fonts: the private fontconfig configuration could not be built");
    config = c;
  });
  return config;
}

const char* GenericFamily(uint8_t pitchAndFamily) {
  switch (pitchAndFamily & 0xF0) {
    case win::FF_ROMAN:
      return "serif";
    case win::FF_MODERN:
      return "monospace";
    case win::FF_SWISS:
      return "sans-serif";
    default:
      return (pitchAndFamily & 0x03) == win::FIXED_PITCH ? "monospace" : "sans-serif";
  }
}

const Alias* FindAlias(const std::string& face) {
  for (const Alias& a : kAliases)
    if (strcasecmp(a.face, face.c_str()) == 0) return &a;
  return nullptr;
}

}  // namespace

FaceFile MatchFace(const win::LOGFONT& lf) {
  FcConfig* config = Config();
  FcPattern* pattern = FcPatternCreate();
  const std::string face = win::FaceNameOf(lf);
  // fontconfig speaks UTF-8; the face name is Windows-1252.
  const std::string utf8Face = Cp1252ToUtf8(face);
  if (!face.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(utf8Face.c_str()));
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(GenericFamily(lf.lfPitchAndFamily)));
  const int weight = lf.lfWeight > 0 ? lf.lfWeight : win::FW_NORMAL;
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight < 1000 ? weight : 1000));
  FcPatternAddInteger(pattern, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);

  FaceFile result;
  FcResult status = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &status);
  FcPatternDestroy(pattern);
  if (!match) return result;
  FcChar8* text = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &text) == FcResultMatch) result.path = reinterpret_cast<char*>(text);
  if (FcPatternGetString(match, FC_FAMILY, 0, &text) == FcResultMatch) result.family = reinterpret_cast<char*>(text);
  int value = 0;
  if (FcPatternGetInteger(match, FC_INDEX, 0, &value) == FcResultMatch) result.index = value;
  if (FcPatternGetInteger(match, FC_WEIGHT, 0, &value) == FcResultMatch) result.weight = FcWeightToOpenType(value);
  if (FcPatternGetInteger(match, FC_SLANT, 0, &value) == FcResultMatch) result.italic = value != FC_SLANT_ROMAN;
  FcPatternDestroy(match);
  return result;
}

std::string ReportedFaceName(const win::LOGFONT& lf, const FaceFile& face) {
  const std::string requested = win::FaceNameOf(lf);
  if (!requested.empty() && (FindAlias(requested) || strcasecmp(requested.c_str(), face.family.c_str()) == 0))
    return requested;
  return face.family;
}

}  // namespace platform::fonts
