#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "engine/base/engassert.h"
#include "runtime/dataviews/tests/dataviews_test_util.h"
#include "runtime/dataviews/zetdatasrc.h"

namespace {

using namespace dataviews;
using dataviews_test::Events;
using dataviews_test::RecordingView;

class datasource : public dataviews_test::TableTest {
 protected:
  std::string Text(TDataSource& s, const char* field) {
    char buffer[256];
    s.GetFieldText(field, buffer, sizeof buffer - 1);
    return buffer;
  }
};

TEST_F(datasource, NestedLocksSendOneDataSetChangedOnTheLastRelease) {
  AddArticles({{"Apfel", 1}});
  TZetDataSource source(relation_);
  RecordingView view;
  source.AddView(&view);
  source.LockNotifications(false);
  source.LockNotifications(false);
  EXPECT_EQ(source.Append(), 0) << "an append under a lock changes the mode only";
  EXPECT_EQ(source.GetMode(), kAppending);
  source.Cancel();
  source.LockNotifications(true);
  EXPECT_EQ(view.Take(), Events{});
  source.LockNotifications(true);
  EXPECT_EQ(view.Take(), Events{"DataSetChanged"});
  EXPECT_THROW(source.LockNotifications(true), EAssertion);
  EXPECT_EQ(source.GetNotificationLocks(), 0);
  source.RemoveView(&view);
  source.RemoveView(&view);
}

TEST_F(datasource, ContinuousReadRestoresTheModeSilentlyAndRefusesAnUnbalancedEnd) {
  AddArticles({{"Apfel", 1}});
  TZetDataSource source(relation_);
  RecordingView view;
  source.AddView(&view);
  ASSERT_EQ(source.Edit(), 0);
  view.Take();
  source.BeginContinuousRead();
  EXPECT_EQ(source.GetMode(), kBrowsing);
  EXPECT_EQ(source.MoveTo(-1), 1);
  source.EndContinuousRead();
  EXPECT_EQ(source.GetMode(), kEditing);
  EXPECT_EQ(view.Take(), Events{});
  // An unbalanced end must not drive the count below 0, which would silence
  // every later notification.
  EXPECT_THROW(source.EndContinuousRead(), EAssertion);
  EXPECT_EQ(source.GetNotificationLocks(), 0);
  source.Cancel();
  EXPECT_EQ(view.Take(), Events{"RecordModeEnded(1)"});
}

TEST_F(datasource, MovesAnswerAndNotifyByTheirRules) {
  AddArticles({{"A", 1}, {"B", 2}, {"C", 3}});
  TZetDataSource source(relation_);
  RecordingView view;
  source.AddView(&view);
  EXPECT_EQ(source.MoveBy(5), kStoppedAtEnd);
  EXPECT_EQ(view.Take(), Events{"RecordMoved(3)"});
  EXPECT_EQ(source.GetRecNo(), 3);
  EXPECT_EQ(source.MoveBy(1), -11);
  EXPECT_EQ(view.Take(), Events{});
  EXPECT_EQ(source.MoveBy(-1), 0);
  EXPECT_EQ(view.Take(), Events{"RecordStepped(-1)"});
  struct {
    int32_t code;
    int32_t recNo;
  } const moves[] = {{-1, 1}, {-3, 2}, {-4, 3}, {-2, 2}, {1, 1}};
  for (const auto& m : moves) {
    EXPECT_GE(source.MoveTo(m.code), 0) << m.code;
    EXPECT_EQ(view.Take(), Events{"RecordMoved(" + std::to_string(m.recNo) + ")"}) << m.code;
  }
  EXPECT_THROW(source.MoveTo(-7), XDataSource);
  try {
    source.MoveTo(-9);
  } catch (const XDataSource& x) {
    EXPECT_STREQ(x.what(), ("MoveTo: Code = -9, TableHdl = " + std::to_string(source.GetTableHandle())).c_str());
  }
}

TEST_F(datasource, RecordSetOperationsNotifyTheirViews) {
  AddArticles({{"A", 1}, {"B", 2}, {"C", 3}});
  TZetDataSource source(relation_);
  RecordingView view;
  source.AddView(&view);
  source.MarkCurrent();
  source.MarkCurrent();
  EXPECT_TRUE(source.IsMarked(-1));
  EXPECT_EQ(source.GetNumMarks(), 1);
  source.UnmarkCurrent();
  EXPECT_FALSE(source.IsMarked(-1));
  EXPECT_EQ(source.MarkByCondition("MENGE > 1", 1, nullptr), 2);
  source.UnmarkAll();
  EXPECT_EQ(view.Take(), (Events{"MarksChanged(1)", "MarksChanged(1)", "MarksChanged(1)", "MarksChanged(0)",
                                 "MarksChanged(0)"}));
  EXPECT_EQ(source.Search("NAME = \"C\"", nullptr), 3);
  EXPECT_EQ(view.Take(), Events{"RecordMoved(3)"});
  EXPECT_TRUE(source.SetAccess("Nummer"));
  EXPECT_FALSE(source.SetAccess("GIBTSNICHT"));
  EXPECT_EQ(view.Take(), Events{"DataSetChanged"});
  EXPECT_GE(source.Delete(), 0);
  EXPECT_EQ(view.Take(), Events{"RecordDeleted(3)"});
  EXPECT_EQ(source.GetRecordCount(), 2);
  // An append the engine refuses otherwise than with -31 is raised.
  const int32_t other = ZetTableCreate(relation_);
  try {
    source.AppendLinked(other);
    ADD_FAILURE() << "no exception";
  } catch (const XDataSource& x) {
    EXPECT_EQ(x.Code, -19);
    EXPECT_STREQ(x.what(), ("AppendLinked: Code = -19, TableHdl = " + std::to_string(source.GetTableHandle())).c_str());
  }
  EXPECT_EQ(source.GetMode(), kBrowsing);
  ZetTableDelete(other);
}

TEST_F(datasource, EditOnAnEmptyTableAnswersMinus5AndStaysBrowsing) {
  TZetDataSource source(relation_);
  RecordingView view;
  source.AddView(&view);
  EXPECT_FALSE(source.HasRecord());
  EXPECT_EQ(source.Edit(), kNoRecordToEdit);
  EXPECT_EQ(source.GetMode(), kBrowsing);
  EXPECT_EQ(source.MoveTo(0), -11);
  EXPECT_EQ(view.Take(), Events{});
  EXPECT_EQ(Text(source, "NAME"), "");
}

TEST(datasource_confirm, EngineCodesMapToSourceCodes) {
  const struct {
    int32_t engine, source;
  } table[] = {{0, 0}, {3, 0}, {-31, -2}, {-33, -3}, {-26, -5}, {-38, -6}, {-25, -4}, {-11, -4}, {-101, -4}};
  for (const auto& c : table) EXPECT_EQ(ConfirmResult(c.engine), c.source) << c.engine;
}

TEST_F(datasource, PostActsOnEachConfirmCode) {
  AddArticles({{"Apfel", 1}, {"Birne", 2}});
  TZetDataSource source(relation_);
  RecordingView view;
  source.AddView(&view);
  char message[80] = "";
  // 0: stored, browsing, RecordPosted with the number read before.
  ASSERT_EQ(source.Edit(), 0);
  ASSERT_EQ(source.SetFieldText("MENGE", "7", message, sizeof message - 1), 0);
  view.Take();
  EXPECT_EQ(source.Post(), 0);
  EXPECT_EQ(source.GetMode(), kBrowsing);
  EXPECT_EQ(view.Take(), Events{"RecordPosted(1)"});
  EXPECT_EQ(Text(source, "MENGE"), "7");
  // -6 (nothing changed): browsing, nobody told.
  ASSERT_EQ(source.Edit(), 0);
  view.Take();
  EXPECT_EQ(source.Post(), 0);
  EXPECT_EQ(source.GetMode(), kBrowsing);
  EXPECT_EQ(view.Take(), Events{});
  // -3 (an empty record is not appended): browsing, RecordModeEnded(0).
  ASSERT_EQ(source.Append(), 0);
  EXPECT_EQ(view.Take(), (Events{"RecordMoved(0)", "RecordModeStarted(0)"}));
  EXPECT_EQ(source.Post(), 0);
  EXPECT_EQ(source.GetMode(), kBrowsing);
  EXPECT_EQ(view.Take(), Events{"RecordModeEnded(0)"});
  // -5 (duplicate key in a unique index): the record stays pending.
  ASSERT_EQ(source.Append(), 0);
  ASSERT_EQ(source.SetFieldText("NAME", "Apfel", message, sizeof message - 1), 0);
  view.Take();
  EXPECT_EQ(source.Post(), kConfirmDuplicate);
  EXPECT_EQ(source.GetMode(), kAppending);
  EXPECT_EQ(view.Take(), Events{});
  source.Cancel();
  EXPECT_EQ(source.GetRecordCount(), 2);
}

TEST_F(datasource, DestroyingASourceDeletesNoViewAndItsOwnCursorOnly) {
  AddArticles({{"Apfel", 1}});
  auto view = std::make_unique<RecordingView>();
  const int32_t shared = ZetTableCreate(relation_);
  {
    TZetDataSource own(relation_);
    own.AddView(view.get());
    TZetDataSource adopted(shared, 1);
    EXPECT_EQ(adopted.GetNumFields(), 6);
  }
  EXPECT_EQ(ZetTableGetNumFields(shared), 6) << "a shared cursor outlives its source";
  EXPECT_EQ(view->Take(), Events{});
  ZetTableDelete(shared);
}

TEST_F(datasource, FieldObjectsFollowTheFieldTypes) {
  TZetDataSource source(relation_);
  char text[80], message[80];
  source.SetFieldValidation("NOTIZ", kValidPicture, "###", "own");
  EXPECT_EQ(source.GetFieldValidation("NOTIZ", text, 79, message, 79), kValidNone);
  EXPECT_STREQ(text, "");
  EXPECT_STREQ(message, "");
  EXPECT_FALSE(source.GetFieldDefault("NOTIZ", text, 79));
  EXPECT_STREQ(text, "");
  source.SetFieldDefault("NAME", "\"Neu\"");
  EXPECT_TRUE(source.GetFieldDefault("NAME", text, 79));
  EXPECT_STREQ(text, "\"Neu\"");
  EXPECT_EQ(source.GetFieldValidation("UNBEKANNT", text, 79, message, 79), kValidNone);
}

TEST_F(datasource, DefaultsAreAssignedAfterAnAppendAndOverlongOnesSkipped) {
  TZetDataSource source(relation_);
  source.SetFieldDefault("MENGE", "3 + 4");
  source.SetFieldDefault("NAME", ("\"" + std::string(230, 'x') + "\"").c_str());
  ASSERT_EQ(source.Append(), 0);
  EXPECT_EQ(Text(source, "MENGE"), "7");
  EXPECT_EQ(Text(source, "NAME"), "") << "a composed text over 255 characters is never run";
  source.Cancel();
}

// ---- field validation ----

TEST_F(datasource, SetFieldTextChecksByValidationKind) {
  AddArticles({{"Apfel", 5}});
  TZetDataSource source(relation_);
  ASSERT_EQ(source.Edit(), 0);
  const struct {
    int32_t kind;
    const char* rule;
    const char* own;
    const char* value;
    int32_t code;
    const char* message;
    const char* stored;
  } cases[] = {
      {kValidRange, "1\r\n10", "", "7", 0, "", "7"},
      {kValidRange, "1\r\n10", "", "12", kFieldOutOfRange, "Enter a value between 1 and 10.", "12"},
      {kValidRange2, "1\r\n10", "Zu gross", "12", kFieldOutOfRange, "Zu gross", "12"},
      {kValidRange, "1 10", "", "3", kFieldBadRule, "Range misses #", "3"},
      {kValidRange, "1 10", "Eigene", "4", kFieldBadRule, "Range misses #", "4"},
      {kValidRange, "1\r\n)(", "", "5", kFieldBadRule, "Invalid range.", "5"},
      {kValidCondition, "MENGE < 5", "", "3", 0, "", "3"},
      {kValidCondition, "MENGE < 5", "", "6", kFieldConditionFailed, "Condition MENGE < 5 must be fullfilled.", "6"},
      {kValidCondition, "MENGE <", "", "2", kFieldBadRule, "Invalid condition.", "2"},
      {kValidPicture, "#[#]", "", "42", 0, "", "42"},
      {kValidPicture, "#[#]", "", "423", kFieldPictureFailed, "Does not fit picture.", "42"},
      {kValidPicture, "#[#]", "Zwei Ziffern", "x", kFieldPictureFailed, "Zwei Ziffern", "42"},
      {kValidNone, "", "", "abc", -7, "Has the wrong format.", "42"},
  };
  for (const auto& c : cases) {
    source.SetFieldValidation("MENGE", c.kind, c.rule, c.own);
    char message[80] = "";
    source.GetFieldValidation("MENGE", nullptr, 0, message, sizeof message - 1);
    EXPECT_EQ(source.SetFieldText("MENGE", c.value, message, sizeof message - 1), c.code) << c.rule << " " << c.value;
    EXPECT_STREQ(message, c.message) << c.rule << " " << c.value;
    EXPECT_EQ(Text(source, "MENGE"), c.stored) << c.rule << " " << c.value;
  }
  source.Cancel();
}

TEST_F(datasource, AcceptedValuesNotifyFieldChangedAndRangeTextsNeverRunCut) {
  AddArticles({{"Apfel", 5}});
  TZetDataSource source(relation_);
  RecordingView view;
  source.AddView(&view);
  ASSERT_EQ(source.Edit(), 0);
  view.Take();
  char message[80] = "";
  EXPECT_EQ(source.SetFieldText("MENGE", "8", message, 79), 0);
  EXPECT_EQ(view.Take(), Events{"FieldChanged(2)"});
  const std::string rule = "1\r\n" + std::string(250, '9');
  source.SetFieldValidation("MENGE", kValidRange, rule.c_str(), "");
  EXPECT_EQ(source.SetFieldText("MENGE", "8", message, 79), kFieldBadRule);
  EXPECT_STREQ(message, "Invalid range.");
  EXPECT_EQ(view.Take(), Events{});
  source.Cancel();
}

TEST_F(datasource, ClonedFieldObjectsCarryNoPendingContent) {
  AddArticles({{"Apfel", 5}});
  TZetDataSource source(relation_);
  TBlob blob;
  source.SetBlob("BILD", &blob);
  EXPECT_TRUE(source.IsBlob("BILD", &blob));
  source.SetFieldValidation("MENGE", kValidPicture, "#", "Ziffer");
  TZetDataSource copy(source);
  EXPECT_FALSE(copy.IsBlob("BILD", &blob));
  char text[16], message[16];
  EXPECT_EQ(copy.GetFieldValidation("MENGE", text, 15, message, 15), kValidPicture);
  EXPECT_STREQ(message, "Ziffer");
  EXPECT_NE(copy.GetTableHandle(), source.GetTableHandle());
  EXPECT_EQ(copy.GetRecNo(), 1);
}

}  // namespace
