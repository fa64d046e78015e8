// The print destination: the record that keeps where print jobs go (the
// printer, the print preview or a file in one of five formats), the rules
// that complete and normalise it, and the dialog that edits it.
//
// What always holds:
//   1. The record is 264 bytes, packed: Destination (i16) at 0, FileName
//      (260 bytes, zero-terminated) at 2, Format (i16) at 262. Whatever it
//      holds, the dialog shows a destination of 1-3 (else the preview) and a
//      format of 1-4 (else 3); the record changes only when the user presses
//      OK.
//   2. The file name travels whole: the edit takes 259 characters, the
//      record's capacity, so a stored path is never cut on its way back.
//   3. A file name without an extension is completed from the chosen format
//      (".PRD" for printer data, ".HTM" for the web format, ".TXT" else);
//      an empty name is refused with "Geben Sie einen Dateinamen an." and
//      stays empty (it never becomes a bare extension).
//   4. Choosing a format chooses the file destination; the name field is
//      enabled exactly while the file destination is chosen.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/toolkit/kxdialogs.h"
#include "runtime/toolkit/kxprint.h"

namespace kxprndest {

enum : int16_t { kToPrinter = 1, kToPreview = 2, kToFile = 3 };
enum : int16_t { kPrinterData = 1, kDosText = 2, kWindowsText = 3, kWebFormat = 4, kTextStream3 = 5 };

#pragma pack(push, 1)
struct TPrintDestination {
  int16_t Destination = kToPreview;
  char FileName[260] = {};
  int16_t Format = kWindowsText;
};
#pragma pack(pop)
static_assert(sizeof(TPrintDestination) == 264);

// Rule 1: what the dialog shows for a stored record.
int16_t ShownDestination(int16_t destination);
int16_t ShownFormat(int16_t format);
// Rule 3: the name with the format's extension when it has none; an empty
// name stays empty.
std::string CompleteFileName(const std::string& name, int16_t format);

class TPrintPreviewDlg : public kxdlg::TCenteredDlg {
 public:
  static constexpr int kResource = 11300;
  // A null caption keeps the resource's; the record is changed only by OK.
  TPrintPreviewDlg(fw::TWindow* parent, kxobject::TKxPrinter* printer, const char* docName, const char* caption,
                   TPrintDestination* destination);

  void SetupWindow() override;
  bool TransferData(fw::TTransferDirection direction) override;
  bool CanClose() override;
  bool Find(fw::TEventInfo& e) override;
  void CmDestination();
  void CmFormat();
  void CmSetup();
  void CmBrowse();

  kxobject::TKxPrinter* Printer;
  std::string DocName;
  TPrintDestination* Destination;

 private:
#pragma pack(push, 1)
  struct Buffer {
    char docName[41];
    char device[256];
    char port[11];
    char fileName[260];
    uint16_t destinations[3];
    uint16_t formats[4];
  };
#pragma pack(pop)
  static_assert(sizeof(Buffer) == 41 + 256 + 11 + 260 + 14);
  // The chosen radio of a group (0-based), or -1.
  int Chosen(int firstId, int count) const;
  void Choose(int firstId, int count, int index);
  void ShowPrinter();
  int16_t ChosenFormat() const;
  Buffer buffer_{};
};

}  // namespace kxprndest
