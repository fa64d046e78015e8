// The data source over one engine cursor, and the stored form of picture
// fields.
//
// TZetDataSource fills every operation of TDataSource with calls of the
// engine's exported functions, keeps the record mode in step with the
// engine's edit and append state, writes pending memo and picture contents
// at Post and tells the views what happened.
//
// What always holds:
//   1. A cursor that the source opened is deleted with it; an adopted cursor
//      only when it was not handed over as shared.
//   2. Every operation that moves the cursor or changes the record set posts
//      the pending record first.
//   3. Post leaves the source browsing only when the engine took the record
//      (or reported it unchanged or discarded); when a pending memo or
//      picture could not be written it answers kPostNotWritten and the record
//      stays pending, so nothing is half written behind the user's back.
//   4. Pending memo views and pictures are dropped by every Post and Cancel;
//      they are never deleted here (the controls own them).
//   5. One memo and one blob transfer at a time: each stream is closed before
//      the next field is written or read. Transfers name the field by its
//      name, which the engine resolves in every form it accepts.
//   6. Composed engine texts (defaults, range conditions, browse columns)
//      that would exceed the engine's 255 characters are never cut: the step
//      is skipped or refused instead.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/framework/pxvalidator.h"
#include "runtime/dataviews/datasrc.h"

namespace dataviews {

// Results of the engine source besides the engine's own codes.
constexpr int32_t kStoppedAtEnd = -1;
constexpr int32_t kConfirmLocked = -2;
constexpr int32_t kConfirmDiscarded = -3;
constexpr int32_t kConfirmFailed = -4;
constexpr int32_t kConfirmDuplicate = -5;
constexpr int32_t kConfirmUnchanged = -6;
constexpr int32_t kPostNotWritten = -7;
constexpr int32_t kNoRecordToEdit = -5;

// Letters and case of the engine's character rule, for picture validators.
extern const framework::TPXCharRule kEngineCharRule;

// The source's code for the engine's answer to a confirm: 0 done, -2 locked
// by another cursor (-31), -3 empty record discarded (-33), -5 duplicate key
// (-26), -6 nothing changed (-38), -4 any other failure.
int32_t ConfirmResult(int32_t engineResult);

// The kind word of a stored picture: 2 x format for embedded data, one less
// for a link.
inline uint16_t BlobKindWord(int32_t format, bool embedded) {
  return uint16_t(embedded ? 2 * format : 2 * format - 1);
}
// The format a kind word names, and whether the data follow it (else a link).
inline int32_t BlobFormatOfWord(uint16_t word) { return (word + 1) / 2; }
inline bool BlobIsEmbedded(uint16_t word) { return word % 2 == 0; }

// Reads a stored picture from a stream that stands on its kind word; a link's
// name is made absolute against directory (the table's, ending in a
// separator). Answers a new value; an empty embedded value when the stream
// holds nothing readable.
std::unique_ptr<TBlob> ReadBlobRecord(TKxStream& stream, const char* directory);

class TZetDataSource : public TDataSource {
 public:
  // Called before a long picture write (a file of more than 10000 bytes);
  // the window layer installs the wait cursor here.
  static void (*ShowWaitCursor)();

  // Adopts a cursor; a non-zero shared flag keeps it alive after the source.
  TZetDataSource(int32_t cursor, int32_t shared);
  // A new cursor on the relation, on its first record.
  explicit TZetDataSource(int32_t relation);
  TZetDataSource(const TZetDataSource& other);
  // A cursor on the open relation of that name; with a master, a detail
  // cursor over the records linked to the master's current record.
  TZetDataSource(const char* relationName, TDataSource* master, const char* linkField);
  ~TZetDataSource() override;

  void Relink() override;
  int32_t GetRelationName(char* buffer, int32_t length, int32_t flag) override;
  bool IsOpen() override { return Cursor > 0; }
  int32_t GetTableHandle() override { return Cursor; }
  int32_t GetRelationHandle() override;
  int32_t GetRecNo() override;
  int32_t GetRecordCount() override;
  void StartProtected() override;
  void EndProtected() override;
  bool GetFieldFormula(const char* name, char* buffer, int32_t length) override;
  void SetFieldFormula(const char* name, const char* text, int32_t flag) override;
  void ApplyFieldDefaults() override;
  int32_t GetNumFields() override;
  int32_t GetFieldNo(const char* name) override;
  void GetFieldName(int32_t fieldNo, char* buffer, int32_t length) override;
  int32_t GetFieldSpec(int32_t fieldNo, ZetFieldSpec* desc) override;
  int32_t GetFieldType(int32_t fieldNo) override;
  void SetPrimaryTable() override;
  int32_t Append() override;
  int32_t AppendDuplicate() override;
  int32_t AppendLinked(int32_t masterCursor) override;
  int32_t AppendWidhLinkInfo(const char* linkInfo) override;
  int32_t Edit() override;
  int32_t Delete() override;
  int32_t DeleteMarked(ZetProgressProc progress, uint32_t flag) override;
  int32_t MoveBy(int32_t count) override;
  int32_t GotoMark(int32_t direction) override;
  int32_t MoveTo(int32_t position) override;
  void Cancel() override;
  int32_t Post() override;
  int32_t ConfirmRecord() override;
  int32_t Tokenize(uint8_t* code, const char* text) override;
  int32_t Solve(char* result, const uint8_t* code, int32_t length, int32_t option) override;
  void GetFieldText(const char* name, char* buffer, int32_t length) override;
  void GetPrevFieldText(const char* name, char* buffer, int32_t length) override;
  int32_t SetFieldText(const char* name, const char* text, char* message, int32_t messageLength) override;
  std::unique_ptr<reports::TFormattedText> GetMemoText(const char* name) override;
  void SetMemoView(const char* name, IMemoView* view) override;
  bool IsMemoView(const char* name, const IMemoView* view) override;
  TBlob* GetBlob(const char* name) override;
  TKxStream* GetBlobStream(const char* name, int32_t& format) override;
  void SetBlob(const char* name, TBlob* blob) override;
  bool IsBlob(const char* name, const TBlob* blob) override;
  bool IsMarked(int32_t recNo) override;
  void MarkCurrent() override;
  void UnmarkCurrent() override;
  void UnmarkAll() override;
  int32_t SortMarked(const char* keyDescription) override;
  int32_t GetNumMarks() override;
  int32_t Search(const char* condition, ZetProgressProc progress) override;
  int32_t MarkByCondition(const char* condition, int32_t option, ZetProgressProc progress) override;
  int32_t MarkDoubles(ZetProgressProc progress) override;
  int32_t SearchContinue(ZetProgressProc progress) override;
  int32_t Replace(const char* selection, const char* assignment, ZetProgressProc progress,
                  uint32_t flag) override;
  int32_t FindRec(const char* indexName, const char* keyText, bool& exact) override;
  void GetIndexNames(char* buffer, int32_t length) override;
  int32_t GetAccess(char* buffer, int32_t length) override;
  bool SetAccess(const char* access) override;
  int32_t GetIndexDesc(const char* indexName, char* buffer, int32_t length, int32_t flag) override;
  int32_t GetIdInfo(char* buffer, int32_t length) override;
  int32_t GetAutoNo() override;
  void BeginContinuousRead() override;
  void EndContinuousRead() override;
  bool IsDirty() override;

 protected:
  std::string LinkField;
  int32_t Cursor = 0;

 private:
  // The common end of the searches: a found record is told as moved to.
  int32_t Found(int32_t result);
  // The common end of the append variants.
  int32_t Appended(const char* operation, int32_t result);
  // The table's directory with a separator at its end (buffer of 260).
  void RelationDirectory(char* directory);
  // Writes the pending contents of every memo and picture field (only when
  // not browsing) and drops them; false when one could not be written.
  bool WritePending();
  bool WriteBlob(const char* field, const TBlob& blob);
  // The validation steps of SetFieldText after the value was stored.
  int32_t CheckRange(const char* name, const char* rule, char* message, int32_t messageLength);
  int32_t CheckCondition(const char* rule, char* message, int32_t messageLength);
};

}  // namespace dataviews
