#pragma once

#include "fw_updater.h"

// The direct USB3 updater. For now it keeps every default of FW_Updater (so
// each operation reports that it is not implemented) and only stores the
// settings the set-up hands it; the updater proper replaces this class.
class FW_Updater_USB30 : public FW_Updater {
public:
    FW_Updater_USB30() = default;
    ~FW_Updater_USB30() override = default;

    // Driver used to count and open cameras: 1 is the maker's USB3 driver, 0 is opened as 1.
    void SetCameraDriver(int newDriver) { driver = newDriver; }
    // Vendor requests as framed bulk transfers (1) or control transfers (0).
    void SetBulkMode(int on) { bulkMode = on; }
    void SetCCD() { ccd = true; }
    // Number of USB3 cameras present for the set driver.
    virtual int GetCameraOnBusCount();

protected:
    int driver = 1;
    int bulkMode = 0;
    bool ccd = false;
};
