#include "fw_operation_log.h"

#include "camera_text.h"
#include "eeprom_files.h"
#include "ffs_file_table.h"
#include "zip_archive.h"
#include "zvapiplus_camera.h"
#include "zvapiplus_exception.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "os_file_path.h"

namespace {

constexpr int kLogArchiveLevel = 6;

const std::string kEntryName(kFwLogEntryName);
const std::string kArchiveName(kFwLogArchiveName);

// Keeps the bytes of a log archive that cannot be read in a file of the
// working directory named after the camera (as its EEPROM backup is), never
// over an earlier one. Answers the file's name; none when it cannot be
// written whole.
std::optional<std::string> KeepDamagedLog(zvAPIplus_Camera& camera, std::span<const std::uint8_t> archive)
{
    constexpr std::size_t kTextSize = 260;
    constexpr int kMaxNumber = 1000;
    const std::string model =
        ReadCameraText<kTextSize>([&](char* text, int size) { camera.GetCameraName(text, size); });
    const std::string serial =
        ReadCameraText<kTextSize>([&](char* text, int size) { camera.GetSerialNumber(text, size); });
    const std::string base =
        "FwOperationLog_damaged_" + eeprom_files::SafeNamePart(model) + "_" + eeprom_files::SafeNamePart(serial);
    for (int number = 1; number <= kMaxNumber; ++number) {
        std::string candidate = base;
        if (number != 1) {
            candidate.append("_").append(std::to_string(number));
        }
        const std::string name = eeprom_files::CheckedFileName(candidate.append(".zip"));
        std::error_code error;
        if (std::filesystem::exists(zv::os::FilePath(name), error) || error) {
            continue;
        }
        {
            std::ofstream out(zv::os::FilePath(name), std::ios::binary);
            out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
            out.close();
            if (!out) {
                return std::nullopt;
            }
        }
        std::ifstream in(zv::os::FilePath(name), std::ios::binary);
        const std::vector<std::uint8_t> kept{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!std::equal(kept.begin(), kept.end(), archive.begin(), archive.end())) {
            return std::nullopt;
        }
        return name;
    }
    return std::nullopt;
}

void PrintNotUpdated()
{
    // The reason was printed without a line end.
    std::printf("\nFailed to update firmware operation log in camera.\n");
}

void CloseQuietly(zvAPIplus_Camera& camera) noexcept
{
    try {
        camera.Close();
    } catch (...) {
        // The failure that brought us here is the one to report.
    }
}

}  // namespace

std::string FormatFwLogTimestamp(std::time_t time)
{
    const std::tm* local = std::localtime(&time);
    if (local == nullptr) {
        return std::string();
    }
    std::array<char, 80> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%d %H%M%S", local);
    return std::string(text.data(), length);
}

std::string GetFwLogTimestamp()
{
    return FormatFwLogTimestamp(std::time(nullptr));
}

std::optional<std::vector<std::uint8_t>> PackFwLog(std::string_view text)
{
    ZipArchivePtr zip = ZipStreamOpen(nullptr, 0, kLogArchiveLevel, 'w');
    if (!zip) {
        std::printf("FW_Updater::PackFwLog ERROR: Failed to create firmware logs archive file.");
        return std::nullopt;
    }
    if (ZipEntryOpen(zip.get(), kEntryName.c_str()) != 0) {
        std::printf("FW_Updater::PackFwLog ERROR: Failed create archive entry.");
        return std::nullopt;
    }
    // The text is stored with its terminating zero byte.
    std::vector<std::uint8_t> content(text.begin(), text.end());
    content.push_back(0);
    if (ZipEntryWrite(zip.get(), content.data(), content.size()) != 0) {
        return std::nullopt;
    }
    if (ZipEntryClose(zip.get()) != 0) {
        std::printf("FW_Updater::PackFwLog ERROR: Failed close archive entry.");
        return std::nullopt;
    }
    std::vector<std::uint8_t> archive;
    if (ZipStreamCopy(zip.get(), archive) <= 0) {
        return std::nullopt;
    }
    return archive;
}

std::optional<std::string> UnpackFwLog(std::span<const std::uint8_t> archive)
{
    ZipArchivePtr zip = ZipStreamOpen(archive.data(), archive.size(), kLogArchiveLevel, 'r');
    if (!zip) {
        std::printf("FW_Updater::UnpackFwLog ERROR: Failed to open firmware logs archive file.");
        return std::nullopt;
    }
    const std::int64_t entries = ZipEntriesTotal(zip.get());
    if (entries <= 0) {
        std::printf("FW_Updater::UnpackFwLog ERROR: Firmware logs archive file is empty.");
        return std::nullopt;
    }
    // The entry name is matched without regard to the case of A-Z.
    if (ZipEntryOpen(zip.get(), kEntryName.c_str()) != 0) {
        std::printf("FW_Updater::UnpackFwLog ERROR: Failed to load log text file from archive.");
        return std::nullopt;
    }
    // Writing the log back keeps only its own entry: an archive that holds
    // more is not ours to rewrite.
    if (entries > 1) {
        std::printf("FW_Updater::UnpackFwLog ERROR: Firmware logs archive file holds other files.");
        return std::nullopt;
    }
    std::vector<std::uint8_t> content;
    if (ZipEntryRead(zip.get(), content) < 0) {
        std::printf("FW_Updater::UnpackFwLog ERROR: Failed to extract log text file from archive.");
        return std::nullopt;
    }
    ZipEntryClose(zip.get());
    const auto end = std::find(content.begin(), content.end(), std::uint8_t{0});
    return std::string(content.begin(), end);
}

bool OpenCameraForLog(zvAPIplus_Camera& camera, const FwLogCameraSelection& selection)
{
    try {
        if (selection.index != -1) {
            camera.OpenByID(selection.index);
        } else if (!selection.serial.empty()) {
            camera.OpenBySN(selection.serial.c_str());
        } else if (!selection.path.empty()) {
            camera.OpenByPath(selection.path.c_str());
        } else if (!selection.location.empty()) {
            camera.OpenByLocation(selection.location.c_str());
        } else {
            std::printf("Unable to open camera for firmware operation logging.\n");
            return false;
        }
    } catch (const zvAPIplus_Exception& error) {
        error.PrintError();
        return false;
    } catch (...) {
        return false;
    }
    return true;
}

void AppendFwOperationLog(zvAPIplus_Camera& camera, std::string_view message)
{
    if (camera.Handle() == 0 || !camera.IsExist()) {
        return;
    }
    // The sensor stays off while the log is written; it is switched back
    // only when it was on before.
    bool sensorInitWasDisabled = true;
    try {
        sensorInitWasDisabled = camera.IsCameraSensorInitDisabled();
        camera.EnableCameraSensorInitDisabled();
        camera.SetFFSFileName(kArchiveName.c_str());
        // A failing size read is not taken as "no log yet": that would
        // replace the camera's history with one line.
        const auto size = static_cast<std::uint32_t>(camera.GetFFSFileSize());

        std::string log;
        bool readable = true;
        if (size > kMaxFfsFileSize) {
            std::printf("FW_Updater::AppendFwOperationLog ERROR: Firmware logs archive file size %u is beyond the "
                        "flash size.",
                        size);
            readable = false;
        } else if (size > 0) {
            std::vector<std::uint8_t> archive(size, 0);
            camera.GetReadFileFFS(reinterpret_cast<char*>(archive.data()), static_cast<int>(size));
            if (std::optional<std::string> text = UnpackFwLog(archive)) {
                log = std::move(*text);
            } else if (const std::optional<std::string> kept = KeepDamagedLog(camera, archive)) {
                // A torn write must not stop all later logging: the history
                // stays on the computer, the camera gets a new log.
                std::printf("\nThe operation log in the camera cannot be read: its bytes are kept in %s, a new log "
                            "is started.\n",
                            kept->c_str());
            } else {
                readable = false;
            }
        }

        if (readable) {
            if (!log.empty() && log.back() != '\n') {
                log += '\n';
            }
            log.append("[").append(GetFwLogTimestamp()).append("] ").append(message);
            if (std::optional<std::vector<std::uint8_t>> archive = PackFwLog(log); archive && !archive->empty()) {
                camera.SetZVAPIParamStr("write_file_ffs", archive->data(), static_cast<int>(archive->size()));
            }
        } else {
            PrintNotUpdated();
        }
        camera.Close();
    } catch (const zvAPIplus_Exception& error) {
        CloseQuietly(camera);
        error.PrintError();
    } catch (...) {
        CloseQuietly(camera);
    }
    // Through the closed camera object, so on the null handle.
    if (!sensorInitWasDisabled) {
        camera.DisableCameraSensorInitDisabled();
    }
}

void AddOperationLogLine(const FwLogCameraSelection& selection, std::string_view message) noexcept
{
    try {
        zvAPIplus_Camera camera;
        if (OpenCameraForLog(camera, selection)) {
            AppendFwOperationLog(camera, message);
        }
    } catch (...) {
        std::printf("Failed to update firmware operation log in camera.\n");
    }
}

void CameraOperationLog::AddLine(const FwLogCameraSelection& selection, std::string_view message) noexcept
{
    AddOperationLogLine(selection, message);
}
