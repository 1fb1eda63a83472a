#pragma once

// The fixed sequence of calibration-converter checks (a to q) against the
// structure definitions and the suite's test-data files; throws an
// UpdaterError at the first failing check. Writes its outputs into test_data
// and the upgrade backups into EEPROM_Backup (both in the working directory).
void TestStructureUpdaters();
