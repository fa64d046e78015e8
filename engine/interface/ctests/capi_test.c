/* The public header as a C program uses it: compiled as C, linked against
   libzetcore.so only. It logs in, opens the article table made by
   make_articles, and appends, walks, edits and deletes records.

   Usage: capi_test <ARTIKEL.DAT> <table key> */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zetcore.h"

static int failures = 0;

#define CHECK(cond)                                                   \
  do {                                                                \
    if (!(cond)) {                                                    \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

static void Append(int32_t cursor, const char* code, const char* name, const char* amount) {
  CHECK(ZetTableAppend(cursor) == 0);
  CHECK(ZetTableSetStr(cursor, "CODE", code) == 0);
  CHECK(ZetTableSetStr(cursor, "NAME", name) == 0);
  CHECK(ZetTableSetStr(cursor, "MENGE", amount) == 0);
  CHECK(ZetTableAppendConfirm(cursor) == 0);
}

static const char* Name(int32_t cursor) {
  static char buffer[41];
  CHECK(ZetTableGetStr(cursor, "NAME", buffer, (int32_t)sizeof buffer - 1) == 0);
  return buffer;
}

int main(int argc, char** argv) {
  char text[256];
  int32_t relation, cursor, other, r;
  const char* expected[] = {"Apfel", "Birne", "Kiwi"};
  int i;

  if (argc != 3) {
    fprintf(stderr, "usage: capi_test <table> <key>\n");
    return 2;
  }
  CHECK(ZetGetVersion() == 4003);
  CHECK(ZetLogin(42) == 0);
  CHECK(ZetLogin(43) == -1);

  relation = ZetRltnOpen(argv[1], "", (uint32_t)strtoul(argv[2], NULL, 0), 15);
  CHECK(relation == 1);
  cursor = ZetTableCreate(relation);
  CHECK(cursor == 1);
  CHECK(ZetTableFirst(cursor) == -201);

  Append(cursor, "3", "Kiwi", "5");
  Append(cursor, "1", "Apfel", "9");
  Append(cursor, "2", "Birne", "7");
  CHECK(ZetRltnRecordCount(relation) == 3);

  /* Record order, then name order. */
  CHECK(ZetTableFirst(cursor) == 1);
  CHECK(strcmp(Name(cursor), "Kiwi") == 0);
  CHECK(ZetTableSetAccess(cursor, "NAMEN.IND", 0) == 0);
  i = 0;
  for (r = ZetTableFirst(cursor); r >= 0; r = ZetTableMoveBy(cursor, 1)) {
    CHECK(i < 3 && strcmp(Name(cursor), expected[i]) == 0);
    ++i;
  }
  CHECK(i == 3);
  CHECK(r == -11);

  /* Edit through one cursor; a second cursor on the record sees it. */
  other = ZetTableCreate(relation);
  CHECK(ZetTableSetRecNo(other, 2) == 2);
  CHECK(ZetTableSetRecNo(cursor, 2) == 2);
  CHECK(ZetTableEdit(cursor) == 0);
  CHECK(ZetTableEdit(other) == -1);
  CHECK(ZetGetLastError(text, (int32_t)sizeof text - 1) == -105);
  CHECK(strcmp(text, "Datensatz wird bereits editiert") == 0);
  CHECK(ZetGetLastError(text, (int32_t)sizeof text - 1) == 0);
  CHECK(ZetTableSetStr(cursor, "NAME", "Ananas") == 0);
  CHECK(ZetTableEditConfirm(cursor) == 0);
  CHECK(strcmp(Name(other), "Ananas") == 0);

  /* Delete the first record: the last one takes its number. */
  CHECK(ZetTableSetRecNo(other, 3) == 3);
  CHECK(ZetTableSetRecNo(cursor, 1) == 1);
  CHECK(ZetTableDeleteRecord(cursor) >= 0);
  CHECK(ZetRltnRecordCount(relation) == 2);
  CHECK(ZetTableGetRecNo(other) == 1);
  CHECK(strcmp(Name(other), "Birne") == 0);

  CHECK(ZetTableDelete(cursor) == 0);
  CHECK(ZetTableFirst(cursor) == -101);
  CHECK(ZetRltnClose(relation) == 0);
  CHECK(ZetTableCreate(relation) == -17);
  ZetLogout(42);
  CHECK(ZetLogin(43) == 0);
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  return failures ? 1 : 0;
}
