#pragma once

#include <cstddef>

// The longest texts the program takes from the command line, hands to the
// camera API or builds into file names, in one place. Each one is a rule the
// program enforces (refused or cut as the user of the limit says), never a
// buffer size.

// The file word of the command line and the file options (--patch_file,
// --output_file_name): it used to live in a 300-byte buffer.
inline constexpr std::size_t kMaxFileWordLength = 299;

// Camera selection texts as the camera API takes them (--campath,
// --camlocation, --camsn): at most 259 characters.
inline constexpr std::size_t kMaxSelectionTextLength = 259;

// The updater's record of the selected camera's serial, path and location
// (512-byte fields).
inline constexpr std::size_t kMaxSelectionRecordLength = 511;

// Versions and the model name given as options (--new_fw_ver, --cur_fw_ver,
// --model) and kept by the updater.
inline constexpr std::size_t kMaxVersionTextLength = 199;

// An EEPROM data version, "major.minor" (--eeprom_ver).
inline constexpr std::size_t kMaxEepromVersionLength = 9;

// A model serial forced onto the camera (--forced_model_sne).
inline constexpr std::size_t kMaxForcedModelSneLength = 19;

// Names of the files the calibration workflows write (backups, listings,
// reports) are built in 260-character buffers.
inline constexpr std::size_t kMaxBuiltFileNameLength = 259;

// How much of an XML file name the browser keeps for its error texts.
inline constexpr std::size_t kMaxXmlErrorFileNameLength = 200;
