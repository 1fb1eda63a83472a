#include "run_internal_tests.h"

#include <cstdio>
#include <exception>

#include "calib_data_structure_converter.h"
#include "structure_updater_tests.h"
#include "updater_error.h"

namespace {

// An evaluation may refuse a camera it cannot place with a text, or answer
// that no update is needed; asking for an update is the failure.
void ExpectNoBootloaderUpdate(const BootloaderEvaluation& evaluate, const BootloaderRequirements& requirements,
                              const char* failure, const char* passed)
{
    bool needed = false;
    try {
        needed = evaluate(requirements);
    } catch (const std::exception& refusal) {
        std::printf("%s\n", refusal.what());
    }
    if (needed) {
        throw UpdaterError(failure);
    }
    std::printf("%s", passed);
}

}  // namespace

void TestFirmwareConsistency(std::span<const FirmwareBinary> images)
{
    std::printf("1. Testing firmware consistency...\n");
    BootloaderRequirements::VerifyFirmwareBinaries(images);
}

void TestBootloaderAssociation(const BootloaderEvaluation& evaluate)
{
    std::printf("1a. Bootloader association checking...");
    BootloaderRequirements requirements;
    requirements.SetCurrentBootloaderVersion(1);

    ExpectNoBootloaderUpdate(evaluate, requirements, "Camera model is not defined, but not detected",
                             "Camera model error reported [OK]\n");

    requirements.SetCameraModelId(0x932);
    ExpectNoBootloaderUpdate(evaluate, requirements, "Invalid camera bootloader should be reported, but not detected",
                             "Invalid camera bootloader was reported [OK]\n");

    requirements.SetBootloaderType(3);
    evaluate(requirements);
    requirements.SetCurrentBootloaderVersion(0x30161);
    if (evaluate(requirements)) {
        throw UpdaterError("Bootloader upgrade was evaluated as needed, but it is not needed");
    }
    std::printf("Bootloader upgrade was evaluated as not needed [OK]\n");
}

void TestCdsBootloaderTypeAssociation()
{
    std::printf("1b. CDS bootloader type association checking...");
    CalibDataStructureConverter converter;
    char model[260] = "JV966JK-TD-G8-V7T9-JND";
    if (!converter.IsCameraModelSupported(model)) {
        throw UpdaterError("Camera JV966 was not detected by CDS");
    }
    std::printf("Scientific camera identified [OK]\n");

    uint32_t value = 0;
    converter.GetAssociatedFwType(model, &value);
    if (value != 1) {
        throw UpdaterError("Camera JV966 incorrect assoc_fw_type detected by CDS");
    }
    value = 0;
    converter.GetAccocDevUnitSelector(model, &value);
    if (value != 6) {
        throw UpdaterError("Camera JV966 incorrect curr_dus detected by CDS");
    }
    value = 0;
    converter.GetAssocZvFwType(model, &value);
    if (value != 2) {
        throw UpdaterError("Camera JV966 incorrect zv_fw_type detected by CDS");
    }
}

void RunInternalTests()
{
    RunInternalTests(firmware_binaries,
                     [](const BootloaderRequirements& r) { return r.IsUpgradeOfBootloaderNeeded(); });
}

void RunInternalTests(std::span<const FirmwareBinary> images, const BootloaderEvaluation& evaluate)
{
    TestFirmwareConsistency(images);
    TestBootloaderAssociation(evaluate);
    TestCdsBootloaderTypeAssociation();

    std::printf("2. Testing if structure updaters works as expected...\n");
    TestStructureUpdaters();
    std::printf("Structure updaters tests passed OK\n");
}
