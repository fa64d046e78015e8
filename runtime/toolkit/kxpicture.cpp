#include "runtime/toolkit/kxpicture.h"

#include <cstring>

#include "platform/clipboard.h"
#include "platform/fonts/logfont.h"
#include "runtime/toolkit/kxpicio.h"

namespace kxobject {

namespace {

struct PictureType {
  const char* extension;
  const char* name;
};
constexpr PictureType kTypes[kPictureTypeCount] = {
    {".*", "Unbekanntes Format"}, {".BMP", "Bitmap"},     {".PCX", "Paintbrush-Bild"},  {".WAV", "Klang"},
    {".WMF", "Meta-Datei"},       {".GIF", "Compuserve-Bild"}, {".JPG", "JPEG-Bild"},
};
// The order in which file extensions are compared.
constexpr struct {
  const char* extension;
  int type;
} kExtensions[] = {{".JPG", 6}, {".GIF", 5}, {".WMF", 4}, {".WAV", 3}, {".PCX", 2}, {".BMP", 1}, {".DIB", 1}, {".*", 0}};

constexpr int kMaxPath = 259;

bool IsDibType(int type) {
  return type == kPictureBmp || type == kPicturePcx || type == kPictureGif || type == kPictureJpeg;
}

std::unique_ptr<TKxDib> SymbolBitmap() { return std::make_unique<TKxDib>(TKxDib::FromResource{}, "MIKRO_BMP"); }

win::RECT ToRECT(const TRect& r) { return win::RECT{r.left, r.top, r.right, r.bottom}; }

// Replaces a non-empty name by convert's form of it against the base.
void ConvertPath(kxstring::TKxString& name, const char* baseDir, void (*convert)(char* dest, char* path, char* base)) {
  if (name.Length() == 0) return;
  char path[kMaxPath + 1], base[kMaxPath + 1], dest[kMaxPath + 1] = "";
  kxstring::StrLCopy(path, name.CStr(), kMaxPath);
  kxstring::StrLCopy(base, baseDir ? baseDir : "", kMaxPath);
  convert(dest, path, base);
  name.Assign(dest, -1);
}

kxstring::TKxString& BaseDir() {
  static kxstring::TKxString dir;
  return dir;
}

}  // namespace

void TKxGraphic::Draw(win::Dc&, win::Dc& out, const TRect& rect, uint16_t) {
  win::RECT r = ToRECT(rect);
  out.DrawText("Unbekanntes Datenformat", &r, win::DT_LEFT | win::DT_TOP);
}

// --- raster pictures ---

TKxDibGraphic::TKxDibGraphic() : TKxDibGraphic(nullptr, kPictureBmp) {}

TKxDibGraphic::TKxDibGraphic(std::unique_ptr<TKxDib> dib, uint16_t pictureType)
    : Dib(dib ? std::move(dib) : std::make_unique<TKxDib>()) {
  type = pictureType;
}

TKxDibGraphic::TKxDibGraphic(TKxStream& stream, uint16_t pictureType)
    : Dib(std::make_unique<TKxDib>(stream, pictureType)) {
  type = pictureType;
  if (Dib->Status < 0) Dib = std::make_unique<TKxDib>(Dib->Status);
}

TKxDibGraphic::TKxDibGraphic(const platform::ResId& bitmap)
    : TKxDibGraphic(std::make_unique<TKxDib>(TKxDib::FromResource{}, bitmap), kPictureBmp) {}

int TKxDibGraphic::CopyToClipboard() {
  Dib->CopyToClipboard();
  return 1;
}

void TKxDibGraphic::Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) {
  Dib->Draw(ref, out, rect, int16_t(mode));
}

int TKxDibGraphic::FromClipboard() {
  const bool offered = win::IsClipboardFormatAvailable(win::CF_DIB);
  Dib = offered ? std::make_unique<TKxDib>(TKxDib::FromClipboard{}, 0) : std::make_unique<TKxDib>();
  type = offered ? kPictureBmp : kPictureNone;
  return 0;
}

int TKxDibGraphic::Write(TKxStream& stream) {
  Dib->WriteBmp(stream);
  return 0;
}

// --- metafiles ---

TKxWMFGraphic::TKxWMFGraphic() : TKxWMFGraphic(std::make_unique<TMetaFile>()) {}

TKxWMFGraphic::TKxWMFGraphic(std::unique_ptr<TMetaFile> metafile) : MetaFile(std::move(metafile)) {
  type = kPictureWmf;
}

TKxWMFGraphic::TKxWMFGraphic(TKxStream& stream, uint16_t pictureType)
    : MetaFile(std::make_unique<TMetaFile>(stream)) {
  type = pictureType;
}

int TKxWMFGraphic::CopyToClipboard() {
  MetaFile->CopyToClipboard();
  return 0;
}

void TKxWMFGraphic::Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) {
  win::RECT r = ToRECT(rect);
  MetaFile->Draw(ref, out, r, int16_t(mode));
}

int TKxWMFGraphic::FromClipboard() {
  type = kPictureWmf;
  return MetaFile->PasteFromClipboard();
}

int TKxWMFGraphic::Write(TKxStream& stream) {
  MetaFile->Write(stream);
  return 0;
}

// --- sounds ---

TKxSoundGraphic::TKxSoundGraphic() : TKxSoundGraphic(nullptr, SymbolBitmap()) {}

TKxSoundGraphic::TKxSoundGraphic(std::unique_ptr<TSound> sound, std::unique_ptr<TKxDib> symbol)
    : Sound(std::move(sound)), Symbol(std::move(symbol)) {
  type = kPictureWav;
}

TKxSoundGraphic::TKxSoundGraphic(TKxStream& stream)
    : TKxSoundGraphic(std::make_unique<TSound>(stream), SymbolBitmap()) {}

void TKxSoundGraphic::Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t) {
  if (Symbol) Symbol->Draw(ref, out, rect, kDrawNatural);
}

int TKxSoundGraphic::Write(TKxStream& stream) {
  if (Sound) Sound->Write(stream);
  return 0;
}

// --- free functions ---

std::unique_ptr<TKxGraphic> ClonePicture(const TKxGraphic& graphic) {
  if (IsDibType(graphic.type)) {
    const auto& dib = static_cast<const TKxDibGraphic&>(graphic);
    return std::make_unique<TKxDibGraphic>(std::make_unique<TKxDib>(*dib.Dib), kPictureBmp);
  }
  if (graphic.type == kPictureWav) {
    const auto& sound = static_cast<const TKxSoundGraphic&>(graphic);
    return std::make_unique<TKxSoundGraphic>(sound.Sound ? std::make_unique<TSound>(*sound.Sound) : nullptr,
                                             sound.Symbol ? std::make_unique<TKxDib>(*sound.Symbol) : nullptr);
  }
  if (graphic.type == kPictureWmf)
    return std::make_unique<TKxWMFGraphic>(
        std::make_unique<TMetaFile>(*static_cast<const TKxWMFGraphic&>(graphic).MetaFile));
  throw xmsg("Unknown picture type in ClonePicture.");
}

std::unique_ptr<TKxGraphic> CreateGraphic(TKxStream& stream, int type) {
  if (IsDibType(type)) return std::make_unique<TKxDibGraphic>(stream, uint16_t(type));
  if (type == kPictureWav) return std::make_unique<TKxSoundGraphic>(stream);
  if (type == kPictureWmf) return std::make_unique<TKxWMFGraphic>(stream, kPictureWmf);
  return nullptr;
}

std::unique_ptr<TKxGraphic> LoadGraphicFile(const char* fileName) {
  const int type = GetPictureTypeOfFile(fileName);
  if (type == kPictureNone) return nullptr;
  TKxFileStream file(fileName, kFileRead);
  if (file.Status != 0) return nullptr;
  return CreateGraphic(file, type);
}

std::unique_ptr<TKxGraphic> GetGraphicFromClipboard(uint32_t ownerWindow) {
  if (!win::OpenClipboard(ownerWindow)) return nullptr;
  std::unique_ptr<TKxGraphic> graphic;
  for (uint32_t format = win::EnumClipboardFormats(0); format && !graphic; format = win::EnumClipboardFormats(format)) {
    if (format == win::CF_DIB) graphic = std::make_unique<TKxDibGraphic>();
    else if (format == win::CF_METAFILEPICT) graphic = std::make_unique<TKxWMFGraphic>();
  }
  win::CloseClipboard();
  if (graphic) graphic->FromClipboard();
  return graphic;
}

int GetPictureTypeOfFile(const char* fileName) {
  if (!fileName) return kPictureNone;
  const char* dot = kxstring::StrRScan(fileName, '.');
  if (!dot) return kPictureNone;
  for (const auto& e : kExtensions)
    if (kxstring::StrEqualNoCase(dot, e.extension)) return e.type;
  return kPictureNone;
}

const char* GetPictureTypeExtension(int type) {
  return kTypes[type >= 0 && type < kPictureTypeCount ? type : 0].extension;
}

const char* GetPictureTypeName(int type) { return kTypes[type >= 0 && type < kPictureTypeCount ? type : 0].name; }

void BuildPictureFilter(char* buf, int maxLen, uint32_t typeMask) {
  kxstring::StrLCopy(buf, "", maxLen);
  for (int type = 1; type < kPictureTypeCount; ++type) {
    if (!(typeMask & (1u << type))) continue;
    for (const char* piece : {kTypes[type].name, " (*", kTypes[type].extension, ")|*", kTypes[type].extension, "|"})
      kxstring::StrLCat(buf, piece, maxLen);
  }
  if (*buf) buf[std::strlen(buf) - 1] = 0;
}

const char* GetPictureBaseDir() { return BaseDir().CStr(); }
void SetPictureBaseDir(const char* dir) {
  BaseDir().Clear();
  BaseDir().Assign(dir, -1);
}

// --- TKxPicture ---

TKxPicture::TKxPicture(const TKxPicture& other)
    : TKxObject(), FileName(other.FileName), Graphic(other.Graphic ? ClonePicture(*other.Graphic) : nullptr),
      Embedded(other.Embedded) {}

TKxGraphic* TKxPicture::GetGraphic() {
  if (!Graphic && !Embedded) Graphic = LoadGraphicFile(FileName.CStr());
  return Graphic.get();
}

void TKxPicture::SetGraphic(std::unique_ptr<TKxGraphic> graphic) {
  Graphic = std::move(graphic);
  FileName.Clear();
}

void TKxPicture::Clear() {
  Graphic.reset();
  FileName.Clear();
}

void TKxPicture::MakeAbsolute(const char* baseDir) {
  ConvertPath(FileName, baseDir, [](char* dest, char* path, char* base) { kxstring::MakeAbsolutePath(dest, path, base, kMaxPath); });
}

void TKxPicture::MakeRelative(const char* baseDir) {
  ConvertPath(FileName, baseDir, [](char* dest, char* path, char* base) { kxstring::MakeRelativePath(dest, path, base, kMaxPath); });
}

void TKxPicture::Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) {
  if (TKxGraphic* graphic = GetGraphic()) graphic->Draw(ref, out, rect, mode);
}

void TKxPicture::Print(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) {
  if (TKxGraphic* graphic = GetGraphic()) graphic->Print(ref, out, rect, mode);
}

int TKxPicture::Read(TKxStream& stream) {
  Graphic.reset();
  uint8_t embedded = 1;  // a stream at its end reads as an empty embedded picture
  stream.ReadHuge(&embedded, 1);
  Embedded = embedded;
  if (!Embedded) {
    FileName.Attach(stream.ReadString());
    return 0;
  }
  uint8_t code[4] = {};
  stream.ReadHuge(code, 4);
  Graphic = CreateGraphic(stream, int(Le32(code)));
  return 0;
}

void TKxPicture::Write(TKxStream& stream) const {
  stream.WriteHuge(&Embedded, 1);
  if (!Embedded) {
    stream.WriteString(FileName.CStr());
    return;
  }
  // A graphic that holds nothing (a failed or empty picture) is recorded
  // as none, so that no reader takes what follows the record for its data.
  const bool data = Graphic && Graphic->GetStatus() == 1;
  uint8_t code[4] = {};
  if (data) PutLe32(code, IsDibType(Graphic->type) ? kPictureBmp : Graphic->type);
  stream.WriteHuge(code, 4);
  if (data) Graphic->Write(stream);
}

// --- the print-out ---

TPicturePrintOut::TPicturePrintOut(const char* title, TKxGraphic* graphic) : TPrintout(title), graphic_(graphic) {
  Banding = false;
}

void TPicturePrintOut::PrintPage(int, win::RECT& rect, unsigned) {
  win::Dc& dc = *GetDC();
  win::LOGFONT font;
  font.lfHeight = -(dc.GetDeviceCaps(win::LOGPIXELSY) * 12 / 72);
  font.lfWeight = win::FW_NORMAL;
  font.lfPitchAndFamily = win::VARIABLE_PITCH | win::FF_SWISS;
  const win::LOGFONT previous = dc.SelectFont(font);
  dc.TextOut(0, 0, GetTitle());
  rect.top = 80;
  if (graphic_) graphic_->Draw(dc, dc, TRect{rect.left, rect.top, rect.right, rect.bottom}, kDrawNatural);
  dc.SelectFont(previous);
}

}  // namespace kxobject
