// HTML pages kept in memo fields, written out as files that a CGI program
// can serve.
//
// The writer takes the memo of the current record of a table and writes it
// to a file: a BASE element with the base address first, then the memo's
// text unchanged except for its tags, in which three attributes are
// rewritten: the text colour of the page body (made black, unless the body's
// background colour is black), the body's background image and the source of
// every image.
//
// The memo is read as its line chain: a piece that ended a stored line is
// followed by CR LF, a piece cut at a soft break by a blank, any other piece
// by nothing. A line end inside a tag thus becomes part of the tag.
//
// What always holds:
//   1. A tag is written "<" + its text + ">" with the letter case it had;
//      only the replaced attribute values change. Tags of any length are
//      kept whole. A tag that the memo's end cuts off is not written.
//   2. An empty memo gives an empty file (no BASE element).
//   3. Answers: 0 done, 1 the file cannot be created; a table or field that
//      is not a memo of an open table is error 34 (reported).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/shortstr.h"

namespace Html {

// The base address: the text up to and including its third "/", or the whole
// text followed by "/" when it has no third one.
std::string BaseOf(std::string_view address);

// The tag text (without "<" and ">") with its attributes rewritten.
std::string RewriteTag(std::string_view tag, std::string_view image, std::string_view background);

// Writes the memo of field of the current record of table slot as a page.
int WriteMemoPage(int slot, uint16_t field, std::string_view fileName, std::string_view base,
                  std::string_view image, std::string_view background);

// Installs the writer into the hook through which the macro language's
// memo-to-HTML function reaches it (texts: file, base, unused, image,
// background).
void InstallWriter();

}  // namespace Html
