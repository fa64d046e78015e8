// Host commands and the host's call-backs.
//
// A host extends Lumo in two ways. It registers commands: each record becomes
// a node of a search tree keyed by the command's name (compared without
// regard to case, smaller names to the left), holding the command's
// signature (result letter, then a blank and a letter per parameter),
// parameter count and its 16-bit id. The compiler turns a registered name
// into token 230 with id, count and signature; the interpreter runs it
// through the exec call-back. And it installs five dispatch procedures: the
// first answers whether a name is a host function or member, the second
// describes it, the third and fifth run members of host objects, the fourth
// is only kept.
//
// What holds:
//   1. Ids stay 16 bits from the record to the code: two commands whose ids
//      share a low byte never run each other.
//   2. Every slot holds a procedure: until the host installs its own (and
//      after it installs a null one) the default answers -1001.
//   3. A description area is zeroed before every describe call and read only
//      when the call answers 0; names and parameter letters of a record are
//      read within their arrays, terminated or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "zetcore.h"

namespace LumoHost {

inline constexpr int16_t kNoHost = -1001;
inline constexpr uint8_t kHostCommandKind = 230;
inline constexpr size_t kDescriptionArea = 100;
inline constexpr size_t kDescValueFlag = 41;
inline constexpr size_t kDescKind = 42;
inline constexpr size_t kDescSignature = 48;

// Frees the whole tree (the root becomes empty).
void ClearCommandTree();
void DoneCommandTree();
// "name:T( a b)n": 0 registered, -1 the name exists, 1 no ":", 2 nothing
// after ":", 3 "(" without ")". A number after ")" replaces id.
int ParseAndRegisterCommand(std::string_view declaration, uint8_t kind, uint16_t id, uint16_t count);
int RegisterCommand(std::string_view name, std::string_view signature, uint16_t count, uint16_t id);
bool FindCommand(std::string_view name, ShortStr& signature, uint16_t& id, uint16_t& count, uint8_t& kind);
// Name of the first node with that id in pre-order; name unchanged when none.
bool CommandNameOf(uint16_t id, ShortStr& name);
// The declaration a record stands for.
ShortStr CommandDeclaration(const ZetCommandRecord& record);
// Registers count records (failures of single records are ignored); 230.
int RegisterCommands(int32_t count, const ZetCommandRecord* records);

void SetExecProc(ZetExecCommandProc proc);
void InstallDispatchProcs(ZetLookupProc lookup, ZetDescribeProc describe, ZetDispatchProc run3,
                          ZetDispatchProc run4, ZetDispatchProc run5);
ZetExecCommandProc ExecProc();
ZetDispatchProc DispatchProc(int slot);  // 3, 4 or 5

// Dispatch 1 with a zero-terminated copy of name.
int16_t HostLookup(uint16_t flag, std::string_view name);
// Dispatch 2 into a zeroed area of 100 bytes.
int16_t HostDescribe(uint16_t flag, uint16_t id, uint8_t (&area)[kDescriptionArea]);

void UnitInit();
void UnitDone();

}  // namespace LumoHost
