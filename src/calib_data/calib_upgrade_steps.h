#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cds_definition.h"
#include "sensor_mode_page.h"

// The upgrade steps of the calibration structure definitions. Every row that
// is not the first version of its model converts pages from the previous
// version of that model to its own. A step is data: the versions it converts
// from and to, fixed in the step itself, and the rules of its form (none for
// the generic merge of every page). One runner executes every step.

struct CdsDataVersion {
    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0;

    friend constexpr bool operator==(const CdsDataVersion&, const CdsDataVersion&) = default;
    // Data-structure version first, then mode-defaults version.
    friend constexpr auto operator<=>(const CdsDataVersion& a, const CdsDataVersion& b)
    {
        if (auto order = a.structVersion <=> b.structVersion; order != 0) {
            return order;
        }
        return a.defaultsVersion <=> b.defaultsVersion;
    }
};

struct CdsPageRule {
    const char* method;  // "page" or "range"
    uint8_t from;
    uint8_t to;
};

struct CdsFieldRule {
    const char* label;
    uint8_t page;
    std::span<const char* const> fields;  // names exactly as in the field tables
};

struct CdsUpgradeStepRecord {
    size_t row;  // the definition row the step ends at
    CdsDataVersion from;
    CdsDataVersion to;
};

// The 24 steps, in definition-row order.
std::span<const CdsUpgradeStepRecord> CdsUpgradeSteps();

// The step that ends at a definition row, or null when the row has none.
const CdsUpgradeStepRecord* FindCdsUpgradeStep(size_t row);

// The rules of a step form (both empty for the generic form).
std::span<const CdsPageRule> CdsPageRulesOf(CdsUpgradeStep form);
std::span<const CdsFieldRule> CdsFieldRulesOf(CdsUpgradeStep form);

// Runs the step that ends at `definition`'s row over the pages (unpacked or
// packed in the step's source version) for the model: loads the default
// pages of both versions, merges by the step's rules and leaves the target
// version's records in the pages. Failures are thrown as UpdaterError; the
// pages then hold what they held before.
void UpgradeFromPrevious(const CdsDefinition& definition, SensorModePageList* pages, const char* model);
