#include "engine/language/jobimage.h"

#include <cstring>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/language/extcalls.h"
#include "engine/language/variables.h"
#include "engine/storage/zet00_keys.h"

namespace JobImage {
namespace {

// A checked reader over the rest of a RAM file.
struct TReader {
  RamFiles::TRamFile& file;
  bool ok = true;

  bool Bytes(void* out, uint32_t n) {
    if (!ok || file.position > file.size || file.size - file.position < n) return ok = false;
    if (n) std::memcpy(out, file.buffer.data() + file.position, n);
    file.position += n;
    return true;
  }
  uint8_t U8() {
    uint8_t b = 0;
    Bytes(&b, 1);
    return b;
  }
  uint16_t U16() {
    uint8_t b[2] = {};
    Bytes(b, 2);
    return bytes::GetU16(b);
  }
  uint32_t U32() {
    uint8_t b[4] = {};
    Bytes(b, 4);
    return bytes::GetU32(b);
  }
  uint32_t Left() const { return file.position <= file.size ? file.size - file.position : 0; }
};

int Put(RamFiles::TRamFile& f, const void* data, size_t n) { return RamFiles::RamWrite(f, data, uint32_t(n)); }
int PutU8(RamFiles::TRamFile& f, uint8_t v) { return Put(f, &v, 1); }
int PutU16(RamFiles::TRamFile& f, uint16_t v) {
  uint8_t b[2];
  bytes::PutU16(b, v);
  return Put(f, b, 2);
}
int PutU32(RamFiles::TRamFile& f, uint32_t v) {
  uint8_t b[4];
  bytes::PutU32(b, v);
  return Put(f, b, 4);
}

// Operand bytes behind an opcode at offset o (0-based) of code; -1 when the
// operand does not fit, -2 for an opcode that names no statement.
long OperandSize(std::string_view code, size_t o) {
  const size_t rest = code.size() - o - 1;
  auto withLength = [&](size_t at) -> long {
    if (at >= code.size()) return -1;
    const size_t n = 1 + uint8_t(code[at]);
    return at + n <= code.size() ? long(at + n - (o + 1)) : -1;
  };
  switch (uint8_t(code[o])) {
    case opJump:
    case opJumpIfFalse:
    case opLineRef:
      return rest >= 4 ? 4 : -1;
    case opEnd:
    case opDefBrace:
    case opPrintSegment:
    case opSolve:
    case opSetAccess:
    case opFilter:
    case opRelation:
    case opSelection:
    case opAppend:
    case opReplace:
    case opCompileArgument:
    case opExit:
    case opLineEnd:
      return 0;
    case opAssign:
    case opSetFont:
      return rest >= 2 ? 2 : -1;
    case opPrimaryTable:
      return rest >= 1 ? 1 : -1;
    case opCondition:
    case opRunCode:
    case opComputedArgument:
    case opText:
    case opDotLine:
    case opDefCode:
    case opFont:
      return withLength(o + 1);
    case opRecordLoop:
      return rest >= kDescriptorFixed ? withLength(o + 1 + kDescriptorFixed) : -1;
    default:
      return -2;
  }
}

}  // namespace

std::string EncodeDescriptor(const TLoopDescriptor& d) {
  uint8_t b[kDescriptorFixed] = {};
  bytes::PutU64(b, d.loopTables);
  bytes::PutU64(b + 8, d.selectionTables);
  bytes::PutU32(b + 16, d.endPosition);
  b[20] = d.keyTable;
  b[21] = d.defaultTables;
  b[22] = d.sorted;
  b[23] = d.textForm;
  b[24] = d.selectionFlag;
  bytes::PutU16(b + 25, d.keyLength);
  std::memcpy(b + 27, d.key.data(), kMaxKeyLength);
  const std::string_view sel = std::string_view(d.selection).substr(0, 255);
  return std::string(reinterpret_cast<const char*>(b), kDescriptorFixed) + char(sel.size()) +
         std::string(sel);
}

bool DecodeDescriptor(std::string_view code, size_t offset, TLoopDescriptor& d) {
  if (offset > code.size() || code.size() - offset < kDescriptorFixed + 1) return false;
  const auto* b = reinterpret_cast<const uint8_t*>(code.data() + offset);
  const size_t selLength = b[kDescriptorFixed];
  if (code.size() - offset - kDescriptorFixed - 1 < selLength) return false;
  d.loopTables = bytes::GetU64(b);
  d.selectionTables = bytes::GetU64(b + 8);
  d.endPosition = bytes::GetU32(b + 16);
  d.keyTable = b[20];
  d.defaultTables = b[21];
  d.sorted = b[22];
  d.textForm = b[23];
  d.selectionFlag = b[24];
  d.keyLength = bytes::GetU16(b + 25);
  std::memcpy(d.key.data(), b + 27, kMaxKeyLength);
  d.selection = std::string(code.substr(offset + kDescriptorFixed + 1, selLength));
  return true;
}

bool UsableDescriptor(const TLoopDescriptor& d) {
  return d.keyLength <= kMaxSortKeyLength && (!d.sorted || Zet00::ComparableKey(d.key.data()));
}

int VerifyCode(std::string_view code, const std::array<uint32_t, kSectionCount>& sections) {
  const size_t n = code.size();
  std::vector<uint8_t> seen(n + 2, 0);
  std::vector<size_t> work;  // 1-based positions still to decode
  auto push = [&](int64_t position) {
    if (position < 1 || position > int64_t(n)) return false;
    if (!seen[size_t(position)]) work.push_back(size_t(position));
    return true;
  };
  for (uint32_t s : sections)
    if (s != 0 && !push(s)) return kErrBadCode;
  for (uint16_t p = 1; p <= ZetVars::ProcedureCount(); ++p)
    if (const ZetVars::TProcedure* proc = ZetVars::GetProcedure(p); proc && !push(proc->entryOffset))
      return kErrBadCode;
  while (!work.empty()) {
    const size_t position = work.back();
    work.pop_back();
    if (seen[position]) continue;
    seen[position] = 1;
    const size_t o = position - 1;
    const long operand = OperandSize(code, o);
    if (operand == -2) continue;  // the runner reports the opcode when it gets there
    if (operand < 0) return kErrBadCode;
    const size_t next = position + 1 + size_t(operand);
    const uint8_t op = uint8_t(code[o]);
    switch (op) {
      case opEnd:
      case opExit:
        break;
      case opLineRef:
        return kErrBadCode;
      case opJump:
      case opJumpIfFalse: {
        const int64_t target = int64_t(position + 1) + bytes::GetI32(reinterpret_cast<const uint8_t*>(code.data() + o + 1));
        if (!push(target)) return kErrBadCode;
        if (op == opJumpIfFalse && !push(int64_t(next))) return kErrBadCode;
        break;
      }
      case opRecordLoop: {
        TLoopDescriptor d;
        if (!DecodeDescriptor(code, o + 1, d) || !UsableDescriptor(d)) return kErrBadCode;
        if (!push(d.endPosition) || !push(int64_t(next))) return kErrBadCode;
        break;
      }
      default:
        // Code that runs off its end stops there like an opcode 2.
        if (next <= n && !push(int64_t(next))) return kErrBadCode;
        break;
    }
  }
  return 0;
}

int WriteImage(RamFiles::TRamFile& f, const TImage& image) {
  int e = PutU8(f, kVersion);
  if (e == 0) e = ZetVars::SaveVariableImage(f);
  if (e == 0) e = ExtCalls::OutsideFunctions().Store(f);
  if (e == 0) e = PutU8(f, image.program ? 1 : 0);
  if (e == 0 && !image.program) {
    const TJobSettings& s = image.settings;
    const uint8_t head[] = {s.kind, s.he, s.gp, s.gc, s.nl, s.newRecord};
    e = Put(f, head, sizeof head);
    if (e == 0) e = PutU16(f, s.groupVariable);
    if (e == 0) e = PutU16(f, s.footerHeight);
    if (e == 0) e = PutU16(f, s.blocksOnPage);
    const uint8_t tail[] = {s.ps, s.pageBegun, s.hf, s.fl, s.outputInitialised};
    if (e == 0) e = Put(f, tail, sizeof tail);
    for (uint32_t p : image.sections)
      if (e == 0) e = PutU32(f, p);
  }
  if (e == 0) e = Put(f, image.layout.data(), kLayoutSize);
  if (e == 0) e = PutU32(f, uint32_t(image.code.size()));
  if (e == 0) e = Put(f, image.code.data(), image.code.size());
  return e;
}

int ReadImage(RamFiles::TRamFile& f, TImage& image) {
  image = TImage();
  TReader r{f};
  if (r.U8() != kVersion || !r.ok) return kErrWrongFormat;
  if (ZetVars::LoadVariableImage(f) != 0) return kErrWrongFormat;
  if (ExtCalls::OutsideFunctions().Load(f) != 0) return kErrWrongFormat;
  auto refuse = [&](int error) {
    ExtCalls::OutsideFunctions().Clear();
    return error;
  };
  const uint8_t flag = r.U8();
  if (!r.ok || flag > 1) return refuse(kErrWrongFormat);
  image.program = flag == 1;
  if (!image.program) {
    TJobSettings& s = image.settings;
    s.kind = r.U8();
    s.he = r.U8();
    s.gp = r.U8();
    s.gc = r.U8();
    s.nl = r.U8();
    s.newRecord = r.U8();
    s.groupVariable = r.U16();
    s.footerHeight = r.U16();
    s.blocksOnPage = r.U16();
    s.ps = r.U8();
    s.pageBegun = r.U8();
    s.hf = r.U8();
    s.fl = r.U8();
    s.outputInitialised = r.U8();
    for (uint32_t& p : image.sections) p = r.U32();
  }
  r.Bytes(image.layout.data(), kLayoutSize);
  const uint32_t length = r.U32();
  if (!r.ok || length > kCodeLimit || length != r.Left()) return refuse(kErrWrongFormat);
  image.code.resize(length);
  r.Bytes(image.code.data(), length);
  if (!r.ok) return refuse(kErrWrongFormat);
  if (const int e = VerifyCode(image.code, image.sections); e != 0) return refuse(e);
  return 0;
}

}  // namespace JobImage
