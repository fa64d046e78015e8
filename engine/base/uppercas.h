// The engine's one character rule for Windows-1252 texts: case folding,
// collation, the OEM conversion of old table files, and the wildcard match.
//
// Collation compares base letters first, without regard to case; accents and
// "ß" only break ties between texts that are otherwise equal ("e" < "é",
// "Strasse" < "Straße" < "Strassen").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace UPPERCAS {

char UpCaseChar(char c);
char LowCaseChar(char c);
void UpperStr(ShortStr& text);
void LowerStr(ShortStr& text);

// -1, 0 or 1: the collating comparison, case folded.
int CollateCompare(std::string_view a, std::string_view b);
// The same comparison without case folding ("E" < "e").
int CollateCompareExact(std::string_view a, std::string_view b);

// The base letters of a text as CollateCompare compares them first, case
// folded ("ß" gives two, "^" counts as a space): two texts whose base
// letters differ compare as their base letters do, the shorter run of
// letters first where one begins the other. Writes at most room letters to
// out and answers how many the text has. plain tells whether the base
// letters decide everything (no accent or "ß", so equal base letters make
// equal texts).
size_t CollateBaseLetters(std::string_view text, uint8_t* out, size_t room, bool& plain);

// Conversion in place between the OEM code page of old files and Windows-1252.
void OemToAnsiStr(ShortStr& text);
void AnsiToOemStr(ShortStr& text);

// True when c is among the first 20 characters of set.
bool CharInShortSet(char c, std::string_view set);

// Spells out umlauts and "ß" (Ä -> AE, ß -> SS), drops "-", cuts to 10
// characters: the field names of dBase files.
void ExpandUmlauts(ShortStr& text);

// Case-insensitive match of text against pattern with "*" (any run, also
// empty) and "?" (one character). An empty pattern matches anything.
bool WildcardMatch(std::string_view text, std::string_view pattern);

void UnitInit();
void UnitDone();

}  // namespace UPPERCAS
