// Fault switches for tests: make a chosen object-model operation, or the Nth write to
// the store, fail with a numbered Error, as a broken server would.
//
// Operation names are "Class.Method" as the pages call them, for example
// "Message.Update", "Message.CopyTo", "Message.SetSubject", "Message.Categories",
// "Message.AllDayEvent", "InfoStores.Item", "Folders.Item", "AddressEntries.Item",
// "Field.Value", "Bindings.Add", "Binding.SaveChanges", "Binding.SaveCustomChanges",
// "BoundFolder.SaveChanges", "Session.GetMessage", "Session.Logon", "Events.Create",
// "Events.BoundFolder", "Messages.iterator.next", "AddressEntries.iterator.next".
// Every public method of the object model checks its own name.
//
// The switches are process-wide (the object model is single-threaded) and set only
// through these calls: nothing in the environment turns them on. Test builds of whole
// programs set them from a variable of their own (tests/seams).
#pragma once

#include "Error.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace messaging::faults {

// Fails the nth call (counting from 1, from now) of the named operation with
// Error(number, "<operation> failed (injected fault)"). With repeat, every call from the
// nth on fails.
void failCall(std::string_view operation, int nth, std::int32_t number = ErrorCode::StoreFailure,
              bool repeat = false);
// Fails the nth store write (a write statement of the engine) from now, as a full
// disk (`number` DiskFull) or a failing store (any other number) would.
void failWrite(int nth, std::int32_t number = ErrorCode::DiskFull);
// Removes every switch and resets the counters.
void clear();
// How often the named operation has been called since the last clear().
int callCount(std::string_view operation);

// Called by the object model at the start of every public operation.
void check(std::string_view operation);

} // namespace messaging::faults
