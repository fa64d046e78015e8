// The engine state stack: blocks of engine-wide state saved so that
// operations can nest on the one thread (a sort inside a sort, a table
// position kept around a macro call). Every block is popped by the code that
// pushed it, with the same size; a pop of another size is an internal error.
#pragma once

#include <cstddef>

namespace STACKLIB {

// Pushes a copy of size bytes of block.
void Push(const void* block, size_t size);
// Takes the top entry off and copies it into block. The size must be the
// pushed one: otherwise the entry is dropped and the assertion "Stack entry to
// pop has not the correct size" is raised. Popping an empty stack raises
// "Stack is empty".
void Pop(void* block, size_t size);
// Size of the top entry, 0 when the stack is empty.
size_t TopEntrySize();
// The top entry as an opaque mark (nullptr when empty); callers compare it to
// see whether the stack is back where it was.
const void* StackTop();

void UnitInit();
void UnitDone();

}  // namespace STACKLIB
