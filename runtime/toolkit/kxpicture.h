// Picture objects: a TKxPicture names a picture file or carries the
// picture's data, and owns the loaded TKxGraphic, which is a raster picture
// (TKxDibGraphic: BMP, DIB, PCX, GIF, JPEG), a metafile (TKxWMFGraphic) or
// a sound that shows a small symbol (TKxSoundGraphic).
//
// Picture type codes: 0 none, 1 BMP/DIB ".BMP", 2 ".PCX", 3 ".WAV",
// 4 ".WMF", 5 ".GIF", 6 ".JPG" (".DIB" reads as 1; ".JPEG" is no picture).
//
// The picture record (little-endian, on a stream):
//
//   offset  size   field
//   0       1      embedded: 0 = linked file, any other value = embedded
//   1       2 + n  linked: the file name as a stream string; nothing follows
//   1       4      embedded: type code, u32 (0 = no graphic)
//   5       ...    embedded, type 1-6: the graphic's data as its Write puts
//                  it: a BMP file image for 1, 2, 5, 6; the placeable
//                  metafile for 4; the wave image for 3
//
// What always holds:
//   1. A raster graphic is always written as a BMP image under type 1,
//      whatever type it was read as; a graphic that holds nothing (status
//      not 1) is written as type 0. Reading an unknown type reads nothing
//      more and leaves no graphic.
//   2. Every graphic's data carries its own length (BMP bfSize, metafile
//      size, RIFF size), and the readers take exactly that, so a picture
//      record may stand in the middle of a document and what follows it
//      reads correctly.
//   3. A TKxDibGraphic always holds a TKxDib (never null): a failed read
//      holds a 1 x 1 placeholder with the failure's negative status; a
//      clipboard without a DIB leaves an empty one.
//   4. A picture owns its graphic; ClonePicture gives an independent copy,
//      so either may be destroyed first.
//   5. A linked picture reads its file only when its graphic is asked for;
//      a file that cannot be opened or has no known type leaves no graphic
//      and is tried again at the next request.
//   6. TPicturePrintOut prints one page: its title at (0, 0) in a 12-point
//      sans-serif font, and the graphic (not owned; may be null) in natural
//      size from 80 device units down.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/framework/printer.h"
#include "platform/gdi/dc.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxmeta.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxsound.h"
#include "runtime/toolkit/kxstream.h"
#include "runtime/toolkit/kxstring.h"

namespace kxobject {

constexpr uint16_t kPictureNone = 0;
constexpr uint16_t kPictureWav = 3;
constexpr uint16_t kPictureWmf = 4;
constexpr uint16_t kPictureTypeCount = 7;
constexpr int16_t kDrawStretch = 2;

class TKxGraphic : public TKxObject {
 public:
  virtual int CopyToClipboard() = 0;
  // The bytes Write puts on a stream.
  virtual int32_t GetDataSize() = 0;
  virtual int GetWidth() { return -1; }
  virtual int GetHeight() { return -1; }
  // Negative: the content failed to load.
  virtual int GetStatus() = 0;
  // The base writes "Unbekanntes Datenformat" at the rectangle's top left.
  virtual void Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode);
  virtual int FromClipboard() = 0;
  virtual void Print(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) { Draw(ref, out, rect, mode); }
  virtual int Write(TKxStream& stream) = 0;

  uint16_t type = kPictureNone;
};

class TKxDibGraphic : public TKxGraphic {
 public:
  TKxDibGraphic();
  // Takes the bitmap (null: an empty one).
  TKxDibGraphic(std::unique_ptr<TKxDib> dib, uint16_t pictureType);
  TKxDibGraphic(TKxStream& stream, uint16_t pictureType);
  TKxDibGraphic(const platform::ResId& bitmap);

  int CopyToClipboard() override;
  int32_t GetDataSize() override { return Dib->GetBmpSize(); }
  int GetWidth() override { return Dib->Width(); }
  int GetHeight() override { return Dib->Height(); }
  int GetStatus() override { return Dib->Status; }
  void Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) override;
  int FromClipboard() override;
  int Write(TKxStream& stream) override;

  std::unique_ptr<TKxDib> Dib;
};

class TKxWMFGraphic : public TKxGraphic {
 public:
  TKxWMFGraphic();
  explicit TKxWMFGraphic(std::unique_ptr<TMetaFile> metafile);
  TKxWMFGraphic(TKxStream& stream, uint16_t pictureType);

  int CopyToClipboard() override;
  int32_t GetDataSize() override { return int32_t(MetaFile->GetStreamSize()); }
  int GetStatus() override { return MetaFile->Status; }
  void Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) override;
  int FromClipboard() override;
  int Write(TKxStream& stream) override;

  std::unique_ptr<TMetaFile> MetaFile;
};

class TKxSoundGraphic : public TKxGraphic {
 public:
  TKxSoundGraphic();
  TKxSoundGraphic(std::unique_ptr<TSound> sound, std::unique_ptr<TKxDib> symbol);
  explicit TKxSoundGraphic(TKxStream& stream);

  int CopyToClipboard() override { return -1; }
  int32_t GetDataSize() override { return Sound ? int32_t(Sound->GetSize()) : 0; }
  int GetStatus() override { return Sound ? Sound->State : 0; }
  // The symbol at the rectangle's top left, in natural size whatever mode.
  void Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode) override;
  int FromClipboard() override { return -1; }
  int Write(TKxStream& stream) override;
  bool Play() const { return Sound && Sound->Play(); }

  std::unique_ptr<TSound> Sound;
  std::unique_ptr<TKxDib> Symbol;
};

// An independent copy; xmsg "Unknown picture type in ClonePicture." for a
// type outside the table.
std::unique_ptr<TKxGraphic> ClonePicture(const TKxGraphic& graphic);
// Read from the stream; null, reading nothing, for a type outside 1-6.
std::unique_ptr<TKxGraphic> CreateGraphic(TKxStream& stream, int type);
// Null for an unknown extension or a file that cannot be opened.
std::unique_ptr<TKxGraphic> LoadGraphicFile(const char* fileName);
// A DIB or metafile graphic, whichever the clipboard offers first; null
// when it offers neither.
std::unique_ptr<TKxGraphic> GetGraphicFromClipboard(uint32_t ownerWindow);

int GetPictureTypeOfFile(const char* fileName);
// ".*" and "Unbekanntes Format" for a type outside 0-6.
const char* GetPictureTypeExtension(int type);
const char* GetPictureTypeName(int type);
// "Name (*.EXT)|*.EXT" for each type 1-6 whose bit (1 << type) is set,
// joined by "|", cut to maxLen characters (buf holds maxLen + 1).
void BuildPictureFilter(char* buf, int maxLen, uint32_t typeMask);

const char* GetPictureBaseDir();
void SetPictureBaseDir(const char* dir);

class TKxPicture : public TKxObject {
 public:
  TKxPicture() = default;
  TKxPicture(const TKxPicture& other);
  TKxPicture& operator=(const TKxPicture&) = delete;

  // Loads a linked picture's file first when there is no graphic yet.
  TKxGraphic* GetGraphic();
  bool IsEmpty() const { return !Graphic && FileName.Length() == 0; }
  // Takes the graphic (may be null) and empties the file name.
  void SetGraphic(std::unique_ptr<TKxGraphic> graphic);
  void Clear();
  void MakeAbsolute(const char* baseDir);
  void MakeRelative(const char* baseDir);
  void Draw(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode);
  void Print(win::Dc& ref, win::Dc& out, const TRect& rect, uint16_t mode);
  int Read(TKxStream& stream);
  int Read(TKxStream& stream, int version) { return (void)version, Read(stream); }
  void Write(TKxStream& stream) const;

  kxstring::TKxString FileName;
  std::unique_ptr<TKxGraphic> Graphic;
  uint8_t Embedded = 1;
};

class TPicturePrintOut : public fw::TPrintout {
 public:
  TPicturePrintOut(const char* title, TKxGraphic* graphic);
  void PrintPage(int page, win::RECT& rect, unsigned flags) override;

 private:
  TKxGraphic* graphic_;
};

}  // namespace kxobject
