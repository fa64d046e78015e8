// The JPEG loader: decodes a JPEG picture with the JPEG library (its libjpeg
// 6b interface) into a packed DIB in a movable global block, which the caller
// then owns.
//
// The DIB: a 40-byte header (biBitCount 24 for colour output, 8 for
// greyscale or quantized output; biSizeImage 0; resolutions the JFIF
// densities x 100 when they are given in dots per centimetre, else 0;
// biClrUsed 256 at 8 bits), at 8 bits a 256-entry table (the grey ramp, or
// the colours the quantizer chose and black after them), then the rows
// bottom-up, each padded with zero bytes to a multiple of 4 (24-bit pixels
// stored blue, green, red).
//
// What always holds:
//   1. Every error the library raises (not a JPEG, unsupported process, CMYK
//      output, a picture over the pixel limit, ...) answers a null handle
//      after the library's message went to the standard error output; nothing
//      leaks: the decompressor, the file and the partly built block are
//      released on every path. Warnings (corrupt data) are reported once and
//      decoding goes on; data that ends early is completed with an
//      end-of-image marker, so a truncated picture still decodes.
//   2. The error exit returns to the decode it belongs to: its jump buffer
//      lives in that decode's own error manager, so decodes do not share
//      state.
//   3. Comment markers and application markers 12 are skipped unread.
#pragma once

#include <cstdint>

#include "platform/base/globalmem.h"

namespace kxobject {

class TKxStream;

// Places up to count bytes in buffer and answers how many; 0 when no data is
// left.
using JpegReadProc = uint32_t (*)(void* buffer, uint32_t count, void* data);

extern "C" {
// Answers the DIB of the file, or a null handle ("can't open <name>" on the
// standard error output when the file cannot be opened). Greyscale pictures
// give 8-bit DIBs, colour ones 24-bit.
win::HGLOBAL LoadDibFromJpegFile(const char* fileName);
// With quantize: 8 bits, 256 colours, ordered dither; without: 24-bit RGB.
win::HGLOBAL LoadDibFromJpegStream(JpegReadProc read, int32_t quantize, void* data);
}

// The call-back of TKxDib::ReadJpeg: data is the TKxStream; never reads past
// the stream's size.
uint32_t JpegStreamRead(void* buffer, uint32_t count, void* data);

// The decode both exports use; unread (when not null) receives how many bytes
// that the call-back delivered were not used, so that a stream can be put
// back right after the picture.
win::HGLOBAL DecodeJpeg(const char* fileName, JpegReadProc read, bool quantize, void* data, uint32_t* unread);

}  // namespace kxobject
