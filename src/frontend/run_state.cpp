#include "run_state.h"

RunState& TheRunState()
{
    static RunState state;
    return state;
}
