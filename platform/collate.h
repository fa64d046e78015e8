// The one collation of Windows-1252 texts: what the engine's indexes,
// searches and language compare by, and what sorted list boxes order by.
//
// What always holds:
//   1. Base letters decide first: an accented letter compares as its base
//      letter ("Ä" as "A"), "ß" as "ss", "^" as a space; with case folding a
//      small letter compares as its capital.
//   2. Only between texts whose base letters are equal do accents and "ß"
//      break the tie: the text whose first accent (or "ß") comes earlier is
//      the greater ("e" < "é", "Strasse" < "Straße" < "Strassen").
//   3. Collate orders consistently (antisymmetric and transitive), so a
//      sorted container may binary-search by it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// -1, 0 or 1; foldCase compares small letters as capitals.
int Collate(std::string_view a, std::string_view b, bool foldCase);

// The base letters of a text as Collate compares them first, case folded:
// writes at most room letters to out and answers how many the text has.
// plain tells whether the base letters decide everything (no accent or "ß").
size_t CollateBaseLetters(std::string_view text, uint8_t* out, size_t room, bool& plain);

}  // namespace platform
