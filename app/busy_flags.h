#pragma once
// The program's process-wide flags. A workflow sets its busy flag while it
// runs; a second click on its button (now "Cancel") clears it, and every wait
// and loop inside the workflow watches it. The scan stop flag ends a running
// scan at every level still open.

namespace qvr {

inline int g_populateInProgress = 0;  // populate-list workflow running
inline int g_reportInProgress = 0;    // compare-report workflow running
inline int g_scanStop = 0;            // set by the classifier when the user cancelled

}  // namespace qvr
