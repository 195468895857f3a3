// One TAVO per log-on session. The events are named, so a second TAVO would
// open the first one's "ApplicationDone" and, when closed, end the first
// one's communication worker for good. A second start therefore brings the
// running window to the front and ends before it creates or opens any event.
#pragma once

// The guard is a named object in the session's own namespace: the sessions of
// two users each keep their own TAVO.
constexpr wchar_t InstanceGuardName[] = L"Local\\Tavo.Operator.Instance";

// True when this process may go on: no other process of this session holds
// the guard (a process that already holds it may claim it again). Otherwise
// the running TAVO's window is brought to the front and the answer is false.
bool ClaimSingleInstance();
// Lets the next TAVO start; at shutdown, once Tavo.ini is written.
void ReleaseSingleInstance();
