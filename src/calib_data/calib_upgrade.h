#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "cds_definition.h"
#include "sensor_mode_page.h"

// The records of one calibration data upgrade step: the step carries a
// camera's pages from the data version they hold (the source) to the next
// version of the same model (the target).

// A page rule. "page" merges source page `from` into target page `to`;
// "range" merges every page i with from <= i <= to into target page i.
struct PageMapping {
    std::string method;
    uint8_t from = 0;
    uint8_t to = 0;
};

// A cherry-pick rule: on `page` only the named fields are taken from the
// source page; every other field of the page takes the target's default.
// `label` names the rule for people reading the step; the engine ignores it.
struct FieldMapping {
    std::string label;
    uint8_t page = 0;
    std::vector<std::string> fieldNames;
};

// The input of one upgrade step, built by the step on its stack.
struct CameraDataUpdateContext {
    // The pages being upgraded (the converter's pages, in page order); not
    // owned. They receive the result.
    SensorModePageList* sourcePages = nullptr;
    // Work pages of the target version: its default pages, each replaced by
    // its merge as the rules run.
    SensorModePageList targetPages;
    CdsDefinition sourceDefinition;
    CdsDefinition targetDefinition;
    // Page rules; when empty, the field rules; when both are empty, every
    // page is merged into the page of the same index.
    std::vector<PageMapping> pageMappings;
    std::vector<FieldMapping> fieldMappings;
    // The default pages of both versions, unpacked.
    SensorModePageList sourceDefaults;
    SensorModePageList targetDefaults;
};

// The local time that upgrade backups are stamped with. Tests set a fixed
// clock; an empty function goes back to the system's local time.
using CdsBackupClock = std::function<std::tm()>;
void SetCdsBackupClock(CdsBackupClock clock);

// Directory, relative to the working directory, that receives the whole-image
// backup of every upgrade step.
inline constexpr const char* kCdsBackupDirectory = "EEPROM_Backup";
