// The engine as a CGI program: the request's parameters, read from the
// environment and the request body and decoded into a tree that programs and
// the ZetCgi... exports query by name or by index, and the program's output,
// optionally in HTML form. All input and output goes through three hooks
// (environment, output, input) with defaults for a console process; a host
// replaces them to route the request through its own I/O.
//
// What always holds:
//   1. The tree holds each parameter name once, the first occurrence of the
//      request: a later pair with the same name (by the case-insensitive
//      collating comparison) changes neither the tree nor the named text
//      buffers. A pair without a name is dropped.
//   2. The tree's shape is that of a plain binary search tree built by
//      inserting the names in request order; GetParamName enumerates it in
//      pre-order. Insertion and lookup do not walk the tree (an ordered index
//      finds a new node's parent), so a request with many sorted names costs
//      n log n, never n squared, and nothing recurses over its depth.
//   3. A value in the tree has at most 255 characters; a value of 256 or more
//      characters, and every value of a "TEXT*" parameter, is also kept whole
//      (up to the text buffer's 65,534 characters) in the named text buffer of
//      the parameter's name.
//   4. Untrusted lengths are bounded: a body whose CONTENT_LENGTH is above
//      kMaxBody is not read at all; a body is read until its length or the
//      end of input, and only the bytes actually delivered are decoded. The
//      query string is read in full (the environment hook is asked again with
//      a buffer of the length it answered), up to kMaxBody.
//   5. A "%" not followed by two hexadecimal digits stands for itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/shortstr.h"

namespace CGI {

// The largest body that is read, and the longest query string.
inline constexpr int64_t kMaxBody = 8 * 1024 * 1024;

// The hooks. Environment: (name, buffer, capacity) writes at most capacity
// characters and a zero into buffer and answers the full length of the value
// (above capacity when it was cut), 0 or less when the variable is unset.
// Output: writes the zero-terminated text; the answer is not used. Input:
// fills buffer with at most count bytes and answers how many it delivered,
// 0 or less at the end of input.
using EnvProc = int32_t (*)(const char* name, char* buffer, int32_t capacity);
using OutputProc = int32_t (*)(const char* text);
using InputProc = int32_t (*)(char* buffer, int32_t count);
// A null hook restores that hook's default.
void SetProcs(EnvProc env, OutputProc output, InputProc input);

// The value of an environment variable through the hook; false when unset.
bool GetEnv(std::string_view name, std::string& value);

// Clears the tree and the named text buffers and reads the request.
void ReadRequest();
// Decodes form data (up to a zero byte) into the tree, as ReadRequest does
// with the query string and the body.
void Decode(std::string_view data);
// Empties the tree and frees the named text buffers.
void Clear();

// The value of the named parameter (empty when there is none); a name that
// matches "TEXT*" also makes that named text buffer current.
ShortStr FindParamValue(std::string_view name);
// Makes the named text buffer that keeps the parameter's whole value
// current; false when the value has none.
bool LoadWholeValue(std::string_view name);
// The name of the parameter at a 0-based pre-order index; empty past the end.
ShortStr GetParamName(int64_t index);
// How many parameters the tree holds.
size_t ParamCount();

// Output through the hook. Each answers the I/O result of the default output
// (0 or a DOS error code); through a host's hook always 0.
int Write(std::string_view text);
int WriteLn(std::string_view text);
// The text with each character in its HTML form, written in one call.
int WriteHtml(std::string_view text);

void UnitInit();
void UnitDone();

}  // namespace CGI
