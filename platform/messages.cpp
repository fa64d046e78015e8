#include "platform/messages.h"

namespace platform {

namespace {

bool NoKey(bool, KeyMessage&) { return false; }
void NoPump() {}

PeekKeyHook peekKeyHook = NoKey;
PumpHook pumpHook = NoPump;

}  // namespace

bool PeekKey(bool remove, KeyMessage& message) { return peekKeyHook(remove, message); }

void PumpMessages() { pumpHook(); }

void SetPeekKeyHook(PeekKeyHook hook) { peekKeyHook = hook ? hook : NoKey; }

void SetPumpHook(PumpHook hook) { pumpHook = hook ? hook : NoPump; }

}  // namespace platform
