// The process-wide session state.
#include "data/session_state.h"

SessionState g_session;
