#pragma once

#include <filesystem>
#include <vector>

// Writes the input files of the internal self-tests for a suite that runs in
// workDir: the images and patch files in workDir/test_data, the TestCam02
// table and the firmware compatibility list in workDir/../data_updaters.
// Everything is built from the calibration definitions, their default pages
// and field tables with fixed edits, so every run writes the same bytes.
// Answers the files written; throws on any failure.
std::vector<std::filesystem::path> WriteSelfTestData(const std::filesystem::path& workDir);
