// The engine's units in link order. Loading libzetcore.so starts them (each
// unit's UnitInit, first to last); unloading stops them in reverse order. Test
// fixtures go through the same table so that every test starts from a freshly
// initialised engine.
#pragma once

namespace Units {

// Runs every unit's init routine in link order. Starting an engine that is
// already started is a no-op.
void StartEngine();
// Runs every unit's done routine in reverse link order.
void StopEngine();
bool EngineStarted();

}  // namespace Units
