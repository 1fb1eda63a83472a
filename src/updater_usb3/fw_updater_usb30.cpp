#include "fw_updater_usb30.h"

#include "info_partition_backup.h"
#include "os_clock.h"
#include "sne_record.h"
#include "text_format.h"
#include "u3_device.h"
#include "updater_error.h"
#include "usb3_routines.h"
#include "zvusb3/usb3_protocol.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

using namespace usb3map;

namespace {

constexpr int kZavroDriver = 1;
constexpr std::size_t kSelectionTextMax = 512;
constexpr std::uint32_t kSerialInfoBytes = 432;
constexpr std::uint32_t kFlagInfoBytes = 1024;
constexpr std::uint32_t kXmlHeaderBytes = 72;
constexpr int kCpu2RestartSeconds = 21;
constexpr int kCpu5ReopenAttempts = 21;
constexpr int kBootloaderWaitSeconds = 20;

// Opens the camera for one operation and closes it on every way out.
class OpenCamera {
public:
    explicit OpenCamera(CameraFW& camera, bool onlyWhenClosed = false) : camera_(camera)
    {
        if (onlyWhenClosed && camera_.IsOpen()) {
            return;
        }
        camera_.Open();
        opened_ = true;
    }
    ~OpenCamera()
    {
        if (opened_) {
            camera_.Close();
        }
    }
    OpenCamera(const OpenCamera&) = delete;
    OpenCamera& operator=(const OpenCamera&) = delete;

private:
    CameraFW& camera_;
    bool opened_ = false;
};

// Where the info partition starts: the stored memory map says so when it
// is valid, else the selected generation's map.
std::uint32_t InfoPartitionStart(CameraFW& camera, std::int32_t generation)
{
    std::array<std::uint8_t, kDescriptorBytes> bytes{};
    camera.ReadSPI(kDescriptorAddress, bytes.data(), kDescriptorBytes, kSpiKindFlash);
    if (const auto stored = MemoryMapDescriptor::FromStored(bytes)) {
        return stored->entries[kEntryInfo].start;
    }
    const auto map = DescriptorForGeneration(generation);
    if (!map) {
        throw UpdaterError("Unsupported camera type");
    }
    return map->entries[kEntryInfo].start;
}

std::string VersionText(const char* format, unsigned high, unsigned low)
{
    return FormatText(format, high, low);
}

// Restores the firmware type when the boot-loader request is done.
class TypeScope {
public:
    TypeScope(std::int32_t& type, std::int32_t temporary) : type_(type), saved_(type) { type_ = temporary; }
    ~TypeScope() { type_ = saved_; }
    TypeScope(const TypeScope&) = delete;
    TypeScope& operator=(const TypeScope&) = delete;

private:
    std::int32_t& type_;
    std::int32_t saved_;
};

}  // namespace

void FW_Updater_USB30::SetBulkMode(int on)
{
    bulkFlag = static_cast<std::uint8_t>(on);
    camera.SetBulkMode(bulkFlag);
}

void FW_Updater_USB30::RememberSelection(const std::string& location)
{
    // The operation log opens the camera through the camera API; the bus
    // index of the USB3 driver need not be the camera API's index, the
    // location names the same camera on both paths.
    if (!location.empty()) {
        cameraIndex = -1;
        cameraSN.clear();
        cameraPath.clear();
        cameraLocation = location.substr(0, kSelectionTextMax);
    }
}

void FW_Updater_USB30::SelectCameraOnBus(int index)
{
    camera.SelectCameraOnBus(index);
    cameraIndex = index;
    try {
        OpenCamera open(camera);
        RememberSelection(camera.Location());
    } catch (const UpdaterError&) {
        // No such camera: the operation itself reports it.
    }
}

template <typename ReadText>
void FW_Updater_USB30::SelectByText(const char* operation, const std::string& text, ReadText&& readText)
{
    if (camera.GetDriver() != kZavroDriver) {
        throw UpdaterError(FormatText("%s - Selected driver is not USB3_DRV_ZAVRO_USB", operation));
    }
    struct Match {
        int index;
        std::string text;
        std::string location;
    };
    std::vector<Match> matches;
    const int count = camera.GetCameraOnBusCount();
    for (int index = 0; index < count; ++index) {
        camera.SelectCameraOnBus(index);
        std::string found;
        std::string location;
        {
            OpenCamera open(camera);
            found = readText();
            location = camera.Location();
        }
        if (found.find(text) != std::string::npos) {
            matches.push_back({index, found, location});
        } else {
            std::printf("%s - not-selected:%s\n", operation, found.c_str());
        }
    }
    if (matches.empty()) {
        throw UpdaterError(FormatText("%s - Camera not found", operation));
    }
    // Two cameras matching one text: picking either could program the wrong one.
    if (matches.size() > 1) {
        throw UpdaterError(FormatText("%s - '%s' matches more than one camera: %s (id %d) and %s (id %d)", operation,
                                      text.c_str(), matches[0].text.c_str(), matches[0].index, matches[1].text.c_str(),
                                      matches[1].index));
    }
    camera.SelectCameraOnBus(matches[0].index);
    RememberSelection(matches[0].location);
}

void FW_Updater_USB30::SelectCameraByPath(const std::string& path)
{
    SelectByText("SelectCameraByPath", path, [this] { return camera.DevicePath(); });
}

void FW_Updater_USB30::SelectCameraByLocation(const std::string& location)
{
    SelectByText("SelectCameraByLocation", location, [this] { return camera.Location(); });
}

void FW_Updater_USB30::SelectCameraBySN(const std::string& serial)
{
    SelectByText("SelectCameraBySN", serial, [this] {
        std::vector<std::uint8_t> info(kSerialInfoBytes);
        camera.ReadSPI(InfoPartitionStart(camera, cameraGeneration), info.data(), kSerialInfoBytes, kSpiKindFlash);
        if (IsUnfinishedInfoPartition(info)) {
            // Its serial record may be gone: the rerun that finishes the
            // rewrite must still find the camera by its serial.
            std::string text = U3DeviceSerial(camera.DevicePath());
            std::printf("\n InfoPartition unfinished, serial of the device path: %s\n", text.c_str());
            return text;
        }
        std::array<std::uint8_t, 8> sne{};
        std::copy_n(info.begin() + kInfoSneOffset, sne.size(), sne.begin());
        const SNERecord record = SNERecord::FromBytes(sne);
        std::string text = EncodeSNE(record);
        std::printf("\n Decoded SN: %s\n", text.c_str());
        if (CheckSNE(record) != 0) {
            std::printf("Camera uses older serial number format\n");
            text = FormatText("%08X", ReadLe32(info, kInfoLegacySerialOffset));
            std::printf("Actual camera serial: %s\n", text.c_str());
        } else {
            std::printf("Valid serial\n");
        }
        return text;
    });
}

void FW_Updater_USB30::GetU3VFlag(std::uint8_t& flag)
{
    OpenCamera open(camera, true);
    std::vector<std::uint8_t> info(kFlagInfoBytes);
    camera.ReadSPI(InfoPartitionStart(camera, cameraGeneration), info.data(), kFlagInfoBytes, kSpiKindFlash);
    if (IsUnfinishedInfoPartition(info)) {
        throw UpdaterError(InfoPartitionBackup(U3DeviceSerial(camera.DevicePath())).UnfinishedForReadText());
    }
    flag = static_cast<std::uint8_t>(ReadLe32(info, kInfoFlagsOffset) & 1);
}

std::string FW_Updater_USB30::GetCurrentFirmwareVersion()
{
    OpenCamera open(camera);
    const std::string model = camera.GetCameraModel();
    const char* wordFormat = model.starts_with("JE") ? "%02d.%02d" : "%02X.%02X";
    switch (firmwareType) {
    case FW_TYPE_CPU1: {
        std::uint16_t v = 0;
        camera.GetCpu1Version(&v);
        return VersionText(wordFormat, v >> 8, v & 0xFF);
    }
    case FW_TYPE_CPU2:
    case FW_TYPE_CPU5: {
        std::uint16_t v = 0;
        camera.GetMcuVersion(&v);
        return VersionText(wordFormat, v >> 8, v & 0xFF);
    }
    case FW_TYPE_CPU3:
    case FW_TYPE_CPU4: {
        std::uint32_t v = 0;
        if (firmwareType == FW_TYPE_CPU3) {
            camera.GetC51Version(&v);
        } else {
            camera.GetC51EepromVersion(&v);
        }
        return VersionText("%02x.%02x", (v >> 8) & 0xFF, v & 0xFF);
    }
    case FW_TYPE_FPGA1:
    case FW_TYPE_FPGA2: {
        const std::optional<FpgaVersionRegister> reg = FpgaVersionRegisterOf(cameraGeneration);
        if (!reg) {
            throw UpdaterError("GetCurrentFirmwareVersion: Unsupported camera type");
        }
        std::array<std::uint8_t, 4> bytes{};
        camera.ReadSPI(reg->address, bytes.data(), reg->length, kSpiKindRegister);
        const std::uint32_t v = ReadLe32(bytes, 0);
        return VersionText("%02X.%02X", (v >> 8) & 0xFFFFFF, v & 0xFF);
    }
    case FW_TYPE_XMLMAN: {
        const auto map = DescriptorForGeneration(cameraGeneration);
        if (!map) {
            throw UpdaterError("Unsupported camera type");
        }
        std::array<std::uint8_t, kXmlHeaderBytes> header{};
        camera.ReadSPI(map->entries[kEntryXmlman].start, header.data(), kXmlHeaderBytes, kSpiKindFlash);
        return FormatText("%02d.%02d.%02d", header[11], header[10], header[8] | header[9] << 8);
    }
    case FW_TYPE_FLAG_U3V: {
        std::uint8_t flag = 0;
        GetU3VFlag(flag);
        return FormatText("%d", flag);
    }
    case FW_TYPE_SID1: {
        // The identification sequence, then the identifier the three registers show.
        constexpr std::uint32_t kFirst = zv::usb3::kIdentityRegisterFirst;
        for (std::uint32_t i = 0; i < 3; ++i) {
            const std::uint32_t value = zv::usb3::kIdentityKey[i];
            const std::array<std::uint8_t, 2> data{static_cast<std::uint8_t>(value),
                                                   static_cast<std::uint8_t>(value >> 8)};
            camera.WriteSPI(kFirst + i, data.data(), 2, kSpiKindRegister);
        }
        std::string text;
        for (const std::uint32_t reg : {kFirst + 2, kFirst + 1, kFirst}) {
            std::array<std::uint8_t, 2> data{};
            camera.ReadSPI(reg, data.data(), 2, kSpiKindRegister);
            text += FormatText("%04x", data[0] | data[1] << 8);
        }
        return text;
    }
    case FW_TYPE_SID2: {
        std::array<std::uint8_t, 12> id{};
        camera.GetSID2(id.data(), static_cast<int>(id.size()));
        std::string text;
        for (const std::uint8_t byte : id) {
            text += FormatText("%02x", byte);
        }
        return text;
    }
    default:
        throw UpdaterError("GetCurrentFirmwareVersion: Unsupported firmware type");
    }
}

void FW_Updater_USB30::EnterBootloader()
{
    {
        TypeScope scope(firmwareType, FW_TYPE_BOOT_REQUEST);
        FlashOperation(kProgram);
    }
    ResetCamera();
    for (int i = 0; i < kBootloaderWaitSeconds; ++i) {
        ReportProgress(0);
        zv::os::SleepMs(1000);
    }
}

void FW_Updater_USB30::UpdateFirmware()
{
    if (firmwareType == FW_TYPE_CPU2) {
        EnterBootloader();
    }
    LogFirmwareOperation(firmwareType, "started");
    FlashOperation(kProgram);
    if (firmwareType == FW_TYPE_CPU2) {
        for (int i = 0; i < kCpu2RestartSeconds; ++i) {
            ReportProgress(100);
            zv::os::SleepMs(1000);
        }
    } else if (firmwareType == FW_TYPE_CPU5) {
        zv::os::SleepMs(2000);
        bool back = false;
        for (int attempt = 0; attempt < kCpu5ReopenAttempts && !back; ++attempt) {
            try {
                OpenCamera open(camera);
                back = true;
            } catch (const UpdaterError&) {
                zv::os::SleepMs(1000);
            }
        }
        // A camera that does not come back after its new firmware is no success.
        if (!back) {
            throw UpdaterError("Couldn't not open camera, might be damaged");
        }
    }
    LogFirmwareOperation(firmwareType, "finished");
}

void FW_Updater_USB30::VerifyFirmware()
{
    if (firmwareType == FW_TYPE_CPU2) {
        EnterBootloader();
    }
    FlashOperation(kVerify);
}

void FW_Updater_USB30::ResetCamera()
{
    std::printf("Resetting Camera\n");
    OpenCamera open(camera);
    if (cameraGeneration == 1) {
        camera.cpu2SetToReset();
    }
    camera.Reset();
}

void FW_Updater_USB30::DumpFlash()
{
    FlashOperation(kDump);
}

void FW_Updater_USB30::EmergencyBoot()
{
    FlashOperation(kEmergencyBoot);
}

void FW_Updater_USB30::UpgradeFirmware()
{
    throw UpdaterError("FW_Updater_USB30::UpgradeFirmware ERROR: Operation is not supported");
}
