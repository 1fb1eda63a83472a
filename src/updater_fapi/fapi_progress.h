#pragma once

#include "zvapi32.h"

class FW_Updater_FAPI;

// The camera API reports 0-100 % for each flash transfer. An operation that
// makes several transfers maps each onto its own share of the whole (for a
// programming run: writing 20-60 %, reading back 60-100 %) before the
// updater's own progress callback sees it.
//
// The camera API calls the registered function without a context, so the
// mapping lives in process-wide state, written by the main thread between
// camera API calls and only read by the callback.

// What the camera API calls: percent × factor + offset, truncated, to the
// running updater's progress callback; nothing while no updater runs.
void ZVAPI_CALL FapiProgressCallback(int percent);

// The share of the next transfers. Stays until changed.
void SetFapiProgressPhase(float offset, float factor);

// The updater whose operation is under way; null when none.
void SetFapiProgressUpdater(FW_Updater_FAPI* updater);
FW_Updater_FAPI* GetFapiProgressUpdater();
