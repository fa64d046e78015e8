// The host's switch over breaking long operations with Ctrl+U.
//
// Common::UserBreakRequested (common.h) answers true when the engine itself
// asked for a break (BreakRequested), and otherwise looks at the keyboard
// only while BreakEnabled is set: with the switch off a Ctrl+U typed by the
// user is taken from the queue like any other key and breaks nothing. The
// switch starts on and is set back on by Common::UnitInit; the engine
// interface sets it for its host.
#pragma once

namespace Common {

extern bool BreakEnabled;

}  // namespace Common
