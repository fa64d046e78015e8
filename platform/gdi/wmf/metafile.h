// Metafiles: recording DCs that write Windows metafile records, and playback
// of those records onto any DC (records.h has the format).
//
// A recording DC is a Dc with a recorder as its output (dc.h, invariant 10):
// it keeps its state and answers metrics like the reference device whose
// capabilities it took, and writes every call as records in logical units.
// Its TECHNOLOGY is DT_METAFILE for a metafile DC; a printer's recording DC
// keeps the printer's technology.
//
// What always holds:
//   1. Recorded bytes are a complete metafile: header, records, end record;
//      the header's size, object count and largest record are exact.
//   2. Objects (pens, brushes, fonts, regions) are created in the lowest
//      free slot when selected or used and deleted when replaced or done, so
//      the slots a recording needs stay few whatever its length.
//   3. Coordinates are 16-bit in the format; larger values are clamped.
//   4. PlayMetaFile leaves the DC's state as it found it (it saves the state
//      first and restores it at the end); the metafile's own RestoreDC never
//      reaches below that save. A record the player does not know, or one
//      too short for its parameters, is skipped; a record whose size runs
//      past the data ends the playback (false), keeping what was drawn.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/gdi/dc.h"

namespace win::wmf {

// The recording output itself, for a DC class of its own (a printer's).
std::unique_ptr<DcOutput> CreateRecorder();
// A DC recording a metafile with the metrics of reference (the screen when
// null); TECHNOLOGY answers DT_METAFILE.
std::unique_ptr<Dc> CreateMetaFileDC(const Dc* reference);
// A recording DC with the given capabilities (a printer page).
std::unique_ptr<Dc> CreateRecordingDC(const DeviceCaps& caps);
// Ends the recording: the metafile's bytes, and the DC draws nothing more.
// Empty when dc does not record.
std::vector<uint8_t> CloseMetaFile(Dc& dc);
// Takes the records so far as a complete metafile and starts a new one on
// the same DC, whose state stays (a printer's next page).
std::vector<uint8_t> TakeRecording(Dc& dc);

// The size in bytes the header of a metafile at the start of bytes gives;
// nothing when the header is not a metafile header.
std::optional<size_t> MetaFileSize(std::span<const uint8_t> bytes);

bool PlayMetaFile(Dc& dc, std::span<const uint8_t> bytes);

// Handles (handles.cpp): a metafile's bytes under an id that is never used
// again; 0 is no metafile. The clipboard deletes the metafile of a
// CF_METAFILEPICT block it drops.
using HMETAFILE = uint32_t;
// 0 when bytes do not begin with a whole metafile (its header's size).
HMETAFILE SetMetaFileBitsEx(std::span<const uint8_t> bytes);
// Null for an unknown handle.
const std::vector<uint8_t>* GetMetaFileBits(HMETAFILE handle);
HMETAFILE CopyMetaFile(HMETAFILE handle);
bool DeleteMetaFile(HMETAFILE handle);
bool PlayMetaFile(Dc& dc, HMETAFILE handle);

}  // namespace win::wmf
