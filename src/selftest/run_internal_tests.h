#pragma once

// Runs the built-in self-test suite; returns when every test passes and
// throws an UpdaterError naming the failure otherwise.
void RunInternalTests();
