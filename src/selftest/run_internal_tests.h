#pragma once

#include <functional>
#include <span>

#include "bootloader_images.h"

// Runs the built-in self-test suite; returns when every test passes and
// throws an UpdaterError naming the failure otherwise. The suite reads its
// data files relative to the working directory (test_data and
// ../data_updaters) and writes its outputs into test_data and EEPROM_Backup.
void RunInternalTests();

// The evaluation the bootloader association step asks.
using BootloaderEvaluation = std::function<bool(const BootloaderRequirements&)>;

// The suite over another image table and evaluation than the program's own,
// so that a changed image or an evaluation that wants an update can be shown
// to fail.
void RunInternalTests(std::span<const FirmwareBinary> images, const BootloaderEvaluation& evaluate);

// The steps of the suite, in order.

// 1. Every embedded bootloader image matches its stored checksum.
void TestFirmwareConsistency(std::span<const FirmwareBinary> images);

// 1a. The evaluation never asks for a bootloader update of an undefined or
// invalid camera model, nor of a camera whose bootloader is current.
void TestBootloaderAssociation(const BootloaderEvaluation& evaluate);

// 1b. The calibration definitions give the JV966 camera its CPU firmware,
// device-unit selector and version selector.
void TestCdsBootloaderTypeAssociation();
