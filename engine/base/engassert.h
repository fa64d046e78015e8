// Consistency checks of the engine's own invariants. A failed check raises
// EAssertion with the text that names the condition; the exported functions
// turn it into an error code, tests can expect it.
#pragma once

#include <stdexcept>
#include <string>

class EAssertion : public std::logic_error {
 public:
  explicit EAssertion(const std::string& what) : std::logic_error(what) {}
};

#define ZET_ASSERT(cond, text)                 \
  do {                                         \
    if (!(cond)) throw EAssertion(text);       \
  } while (0)
