// Data sources: the runtime's view of one open table, shared by every window,
// report and document that shows it, and the field objects it keeps.
//
// A data source owns one field object per engine field (null for relation
// fields) and keeps the record mode: 0 browsing, 1 editing, 2 appending. It
// tells its registered views (TDataView) what happened after each operation
// that moves the cursor, changes the marks, the mode or a field.
//
// What always holds:
//   1. Views are told in registration order, and only while NotificationLocks
//      is 0; a notification skipped under a lock is not queued. Releasing the
//      last lock through LockNotifications(true) sends one DataSetChanged
//      instead; EndContinuousRead releases its lock without telling anybody.
//   2. NotificationLocks never goes below 0: a release without a lock (from
//      LockNotifications or EndContinuousRead) is an internal error
//      (EAssertion naming the condition) and changes nothing.
//   3. The source never owns a view: destroying it deletes no view. It owns
//      its field objects; the pending memo view and picture that a memo or
//      picture field points at belong to the controls that registered them.
//   4. Fields are found by name through GetFieldNo; an unknown name, or a
//      field whose object is of another class, is left alone (getters answer
//      false, 0 or the empty text).
//
// Stored form of a picture field (the blob of the field):
//   word w, then either the picture data (w = 2 x format: embedded data), or
//   a stream string (word length, characters) holding the linked file's name
//   relative to the table's directory (w = 2 x format - 1: a link).
//   Reading: format = (w + 1) / 2, embedded when w is even. Formats: 1 bitmap,
//   2 PCX, 3 sound, 4 metafile, 5 GIF, 6 JPEG. Every bitmap-like picture is
//   held as a DIB once loaded, so an embedded picture without a file is
//   written as a bitmap (format 1) whatever format it came from.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/interface/include/zetcore.h"
#include "runtime/reports/formtext.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace dataviews {

using kxobject::TKxDib;
using kxobject::TKxPtrArray;
using kxobject::TKxStream;

// Record modes.
constexpr int32_t kBrowsing = 0;
constexpr int32_t kEditing = 1;
constexpr int32_t kAppending = 2;

// Engine field type codes that the source treats apart.
constexpr uint16_t kFieldText = 1;
constexpr uint16_t kFieldMemo = 7;
constexpr uint16_t kFieldPicture = 11;
constexpr uint16_t kFieldRelation = 12;

// Picture formats of a picture field.
constexpr int32_t kPictNone = 0;
constexpr int32_t kPictBitmap = 1;
constexpr int32_t kPictPcx = 2;
constexpr int32_t kPictSound = 3;
constexpr int32_t kPictWmf = 4;
constexpr int32_t kPictGif = 5;
constexpr int32_t kPictJpeg = 6;

// Validation kinds of a text field.
constexpr int32_t kValidNone = 0;
constexpr int32_t kValidRange = 1;
constexpr int32_t kValidRange2 = 2;
constexpr int32_t kValidCondition = 3;
constexpr int32_t kValidPicture = 4;

// Results of SetFieldText besides the engine's own codes.
constexpr int32_t kFieldOutOfRange = -2;
constexpr int32_t kFieldConditionFailed = -3;
constexpr int32_t kFieldPictureFailed = -5;
constexpr int32_t kFieldBadRule = -99;

class TDataSource;

// An observer of a data source.
class TDataView {
 public:
  virtual ~TDataView() = default;
  virtual void DataSetChanged() = 0;
  virtual void MarksChanged(int32_t recNo) = 0;
  virtual void RecordModeEnded(int32_t recNo) = 0;
  virtual void RecordModeStarted(int32_t) {}
  virtual void RecordPosted(int32_t recNo) = 0;
  virtual void RecordDeleted(int32_t recNo) = 0;
  virtual void RecordStepped(int32_t count) = 0;
  virtual void RecordMoved(int32_t recNo) = 0;
  virtual bool BeforePost(int32_t) { return true; }
  virtual void FieldChanged(int32_t fieldNo) = 0;
  virtual bool IsView(const TDataView* other) const = 0;
};

// Raised when an engine operation fails in a way the caller cannot handle.
class XDataSource : public std::runtime_error {
 public:
  XDataSource(const char* operation, int32_t code, int32_t cursor);
  int32_t Code;
  uint8_t TableHdl;
};

// A picture value while it is shown or edited.
class TBlob {
 public:
  // An empty embedded value.
  TBlob() = default;
  // Takes the picture; copies the name (null or "" for none).
  TBlob(int32_t format, bool embedded, const char* fileName, std::unique_ptr<TKxDib> picture);
  TBlob(const TBlob& other);
  TBlob& operator=(const TBlob&) = delete;

  bool HasFileName() const { return !FileName.empty(); }
  bool IsEmpty() const { return !Picture && FileName.empty(); }

  int32_t Format = kPictNone;
  bool Embedded = true;
  std::unique_ptr<TKxDib> Picture;
  std::string FileName;
};

class TField {
 public:
  virtual ~TField() = default;
  virtual TField* Clone() const = 0;
};

class TAlphanumField : public TField {
 public:
  TField* Clone() const override { return new TAlphanumField(*this); }

  std::string Formula;
  int32_t ValidationKind = kValidNone;
  std::string ValidationText;
  std::string ValidationMessage;
  std::string DefaultExpression;
};

class TDataSourceMemoView;

class TMemoDataField : public TField {
 public:
  TField* Clone() const override { return new TMemoDataField; }
  TDataSourceMemoView* MemoView = nullptr;  // not owned
};

class TBlobDataField : public TField {
 public:
  TField* Clone() const override { return new TBlobDataField; }
  TBlob* Blob = nullptr;  // not owned
};

// What a memo editor offers its source: its whole text written as plain
// text into a stream.
class TDataSourceMemoView {
 public:
  virtual ~TDataSourceMemoView() = default;
  virtual void WriteText(TKxStream& stream) = 0;
};

class TDataSource {
 public:
  using IMemoView = TDataSourceMemoView;

  explicit TDataSource(const char* name);
  TDataSource(const TDataSource& other);
  TDataSource& operator=(const TDataSource&) = delete;
  virtual ~TDataSource();

  void AddView(TDataView* view);
  void RemoveView(TDataView* view);
  void LockNotifications(bool release);
  void SetMode(int32_t mode) { Mode = mode; }
  int32_t GetMode() const { return Mode; }
  int32_t GetNotificationLocks() const { return NotificationLocks; }
  bool HasRecord();
  bool Refresh();
  void BuildFields();
  int32_t GetFieldValidation(const char* name, char* text, int32_t textLength, char* message,
                             int32_t messageLength);
  void SetFieldValidation(const char* name, int32_t kind, const char* text, const char* message);
  bool IsSelectionValid(const char* selection);
  const char* GetName() const { return Name.c_str(); }
  TDataSource* GetMaster() const { return Master; }

  virtual void Relink() {}
  virtual int32_t StartReport() { return 0; }
  virtual void EndReport() {}
  virtual int32_t GetRelationName(char* buffer, int32_t length, int32_t flag) = 0;
  virtual bool IsOpen() = 0;
  virtual int32_t GetTableHandle() = 0;
  virtual int32_t GetRelationHandle() = 0;
  virtual int32_t GetRecNo() = 0;
  virtual int32_t GetRecordCount() = 0;
  virtual void StartProtected() = 0;
  virtual void EndProtected() = 0;
  virtual void SetReportRange(uint64_t) {}
  virtual bool GetFieldFormula(const char* name, char* buffer, int32_t length) = 0;
  virtual void SetFieldFormula(const char* name, const char* text, int32_t flag) = 0;
  virtual bool GetFieldDefault(const char* name, char* buffer, int32_t length);
  virtual void SetFieldDefault(const char* name, const char* text);
  virtual void ApplyFieldDefaults() = 0;
  virtual int32_t GetNumFields() = 0;
  virtual int32_t GetFieldNo(const char* name) = 0;
  virtual void GetFieldName(int32_t fieldNo, char* buffer, int32_t length) = 0;
  virtual int32_t GetFieldSpec(int32_t fieldNo, ZetFieldSpec* desc) = 0;
  virtual int32_t GetFieldType(int32_t fieldNo) = 0;
  virtual void SetPrimaryTable() {}
  virtual int32_t Append() = 0;
  virtual int32_t AppendDuplicate() = 0;
  virtual int32_t AppendLinked(int32_t masterCursor) = 0;
  virtual int32_t AppendWidhLinkInfo(const char* linkInfo) = 0;
  virtual int32_t Edit() = 0;
  virtual int32_t Delete() = 0;
  virtual int32_t DeleteMarked(ZetProgressProc progress, uint32_t flag) = 0;
  virtual int32_t MoveBy(int32_t count) = 0;
  virtual int32_t GotoMark(int32_t direction) = 0;
  virtual int32_t MoveTo(int32_t position) = 0;
  virtual void Cancel() = 0;
  virtual int32_t Post() = 0;
  virtual int32_t ConfirmRecord() = 0;
  virtual int32_t Tokenize(uint8_t* code, const char* text) = 0;
  virtual int32_t Solve(char* result, const uint8_t* code, int32_t length, int32_t option) = 0;
  virtual void GetFieldText(const char* name, char* buffer, int32_t length) = 0;
  virtual void GetPrevFieldText(const char* name, char* buffer, int32_t length) = 0;
  virtual int32_t SetFieldText(const char* name, const char* text, char* message, int32_t messageLength) = 0;
  // The memo of the field as a new text: the pending view's text, else the
  // stored one; an empty text without a record.
  virtual std::unique_ptr<reports::TFormattedText> GetMemoText(const char* name) = 0;
  virtual void SetMemoView(const char* name, IMemoView* view) = 0;
  virtual bool IsMemoView(const char* name, const IMemoView* view) = 0;
  virtual TBlob* GetBlob(const char* name) = 0;
  virtual TKxStream* GetBlobStream(const char* name, int32_t& format) = 0;
  virtual void SetBlob(const char* name, TBlob* blob) = 0;
  virtual bool IsBlob(const char* name, const TBlob* blob) = 0;
  virtual bool IsMarked(int32_t recNo) = 0;
  virtual void MarkCurrent() = 0;
  virtual void UnmarkCurrent() = 0;
  virtual void UnmarkAll() = 0;
  virtual int32_t SortMarked(const char* keyDescription) = 0;
  virtual int32_t GetNumMarks() = 0;
  virtual void SetSelection(const char*) {}
  virtual int32_t Search(const char* condition, ZetProgressProc progress) = 0;
  virtual int32_t MarkByCondition(const char* condition, int32_t option, ZetProgressProc progress) = 0;
  virtual int32_t MarkDoubles(ZetProgressProc progress) = 0;
  virtual int32_t SearchContinue(ZetProgressProc progress) = 0;
  virtual int32_t Replace(const char* selection, const char* assignment, ZetProgressProc progress,
                          uint32_t flag) = 0;
  virtual int32_t FindRec(const char* indexName, const char* keyText, bool& exact) = 0;
  virtual void GetIndexNames(char* buffer, int32_t length) = 0;
  virtual int32_t GetAccess(char* buffer, int32_t length) = 0;
  virtual bool SetAccess(const char* access) = 0;
  virtual int32_t GetIndexDesc(const char* indexName, char* buffer, int32_t length, int32_t flag) = 0;
  virtual int32_t GetIdInfo(char* buffer, int32_t length) = 0;
  virtual int32_t GetAutoNo() = 0;
  virtual void BeginContinuousRead();
  virtual void EndContinuousRead();
  virtual bool IsDirty() = 0;

 protected:
  // Calls op on every view in registration order when no lock is held.
  template <class Op>
  void Notify(Op op) {
    if (NotificationLocks != 0) return;
    for (int32_t i = 0; i < Views.Count(); ++i) op(*Views.At(i));
  }
  // The field object of a name when it is of class F, else null.
  template <class F>
  F* FieldAs(const char* name) {
    const int32_t no = GetFieldNo(name);
    return no > 0 && no <= Fields.Count() ? dynamic_cast<F*>(Fields.At(no - 1)) : nullptr;
  }

  std::string Name;
  int32_t SharedCursor = 0;
  TDataSource* Master = nullptr;
  uint8_t ViewFlag = 0;
  uint8_t SavedViewFlag = 0;
  int32_t NotificationLocks = 0;
  int32_t Mode = kBrowsing;
  int32_t SavedMode = kBrowsing;
  TKxPtrArray<TDataView> Views{10, 5};
  TKxPtrArray<TField> Fields{10, 10};
};

}  // namespace dataviews
