// Login, the last error, the engine state stack and the engine-wide calls.
//
// One client may be logged in at a time; the registration is the only state
// of this file (kept in zeteng.cpp). Everything else here forwards to the
// units below: the last error of Common, the compile error of the language,
// the link chain positions of table storage.
#include <cstring>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/crypt.h"
#include "engine/base/userbreak.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/language/extcalls.h"
#include "engine/language/variables.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

using namespace ZETEng;

namespace {
// Engine error of a wrong access code.
constexpr int kErrWrongCode = 38;
}  // namespace

extern "C" {

int32_t ZetLogin(uint32_t clientId) try {
  if (RegisteredClient() != 0) return -1;
  SetRegisteredClient(clientId);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetLogout(uint32_t clientId) try {
  if (clientId == RegisteredClient()) SetRegisteredClient(0);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetVersion(void) { return kVersion; }

int32_t ZetGetLastError(char* buffer, int32_t capacity) try {
  ShortStr text;
  const int32_t word = Common::ReadLastError(text);
  TextOut(buffer, capacity, text);
  return word;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetLastErrorPos(char* buffer, int32_t capacity) try {
  const ZetVars::TCompileErrorRecord& e = ZetVars::CompileError();
  if (e.code == 0) {
    TextOut(buffer, capacity, "");
    return 0;
  }
  TextOut(buffer, capacity, e.line);
  return e.position > 0 ? int32_t(e.position) - 1 : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetPushState(void) try {
  Zet01::PushLinkState();
  OpenBracket(TBracket::State, 0);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetPopState(void) try {
  if (!CloseBracket(TBracket::State, 0)) return 0;
  Zet01::PopLinkState();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetSystemSettings(int32_t indexPageSize, int32_t blobBlockSize) try {
  Zet00::SetIndexPageSize(indexPageSize);
  WinBlobs::SetBlobBlockSize(blobBlockSize);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetStopSend(void) { return 0; }

int32_t ZetSetProjectDir(const char* directory) try {
  SetProjectDirectory(TextIn(directory));
  ExtCalls::SetProjectDirectory(ProjectDirectory().view());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetEnableBreak(int32_t flag) try {
  Common::BreakEnabled = flag != 0;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetErrorCheck(void) { return ZetVars::ErrorCheckSwitch() ? 1 : 0; }
int32_t ZetContSend(void) { return 0; }

int32_t ZetGetRltnHdl(const char* relationName) try {
  const std::string_view name = TextIn(relationName);
  if (name.empty()) return 0;
  return ZetTable::FindOpenTable(name);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetDeleteDatFile(const char* fileName, const char* accessCode, uint32_t tableKey) try {
  const std::string_view name = TextIn(fileName);
  ShortStr code(TextIn(accessCode, Common::kMaxCodeLength));
  UPPERCAS::UpperStr(code);
  // A file set that is open stays.
  if (name.empty() || Zet01::OpenSlotOfFile(name) != 0) return -20;
  int error = 0;
  if (Zet01::DeleteTableFiles(name, code, tableKey, error, {}, true)) return 0;
  return error == kErrWrongCode ? -12 : -20;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetEncrypt(void* buffer, int32_t length, int32_t key) try {
  if (buffer && length > 0) Crypt::Scramble(static_cast<uint8_t*>(buffer), size_t(length), uint32_t(key));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetDecrypt(void* buffer, int32_t length, int32_t key) try {
  if (buffer && length > 0) Crypt::Unscramble(static_cast<uint8_t*>(buffer), size_t(length), uint32_t(key));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetScrambleString(char* text) try {
  if (!text) return 0;
  const ShortStr scrambled = Common::ScrambleString(TextIn(text, Common::kMaxCodeLength));
  std::memcpy(text, scrambled.data(), scrambled.size());
  text[scrambled.size()] = 0;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
