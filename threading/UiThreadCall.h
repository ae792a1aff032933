#pragma once

#include <functional>

#include "engine/StopSignal.h"
#include "threading/CallMailbox.h"

namespace vantrel {

// Runs call on the thread the mailbox lives on and waits there until it has run; runs it at
// once when already on that thread. Returns true once the call has run to its end, and only
// then may the caller look at what it wrote: the end of the call happens before the return.
// Whatever the call throws is thrown here, to the caller, instead.
//
// Returns false when a stop is requested first. A call that had not begun then never runs, even
// if a later run clears the stop; one already running goes on alone, so whatever it writes must
// be owned by the call (shared), never by the caller's stack.
bool CallOnMailboxThread(CallMailbox& mailbox, StopSignal& stop, std::function<void()> call);

}  // namespace vantrel
