#include "fw_updater.h"

#include "fw_sel_item.h"
#include "md5.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::size_t kDigestLength = 10;
// Types whose file argument is not a firmware image worth a digest.
constexpr std::array<std::string_view, 5> kTypesWithoutDigest = {"SN", "SSN", "DEVVER", "PFFS", "FFC"};

bool HasDigest(std::int32_t firmwareTypeId)
{
    const FwSelItem item = GetFwSelItemById(firmwareTypeId);
    if (item.id == 0 || !item.needsFile) {
        return false;
    }
    return std::find(kTypesWithoutDigest.begin(), kTypesWithoutDigest.end(), item.name) == kTypesWithoutDigest.end();
}

void PrintNotLogged()
{
    std::printf("Failed to update firmware operation log in camera.\n");
}

}  // namespace

std::string FormatFirmwareOperationLine(std::string_view typeName, std::string_view digest, std::string_view word)
{
    std::string line = "FW prog of ";
    line.append(typeName);
    if (!digest.empty()) {
        line.append(" [").append(digest).append("]");
    }
    line.append(" ").append(word);
    return line;
}

void FW_Updater::LogOperationMessage(FW_Updater& updater, std::string_view message)
{
    if (!updater.operationLog) {
        return;
    }
    try {
        updater.operationLog->AddLine(updater.LogSelection(), message.substr(0, kMaxFwLogMessageLength));
    } catch (...) {
        PrintNotLogged();
    }
}

void FW_Updater::LogFirmwareOperation(std::int32_t firmwareTypeId, std::string_view word)
{
    if (!operationLog) {
        return;
    }
    try {
        const std::string digest = HasDigest(firmwareTypeId) ? LoggedPayloadDigest() : std::string();
        operationLog->AddLine(LogSelection(),
                              FormatFirmwareOperationLine(GetFwTypeName(firmwareTypeId), digest, word));
    } catch (...) {
        PrintNotLogged();
    }
}

std::string FW_Updater::LoggedPayloadDigest()
{
    // The whole payload, not only the programmed window, as the run loaded
    // it; its digest is computed once. When the payload cannot be loaded the
    // line goes without the digest.
    LoadedInputFile* input = nullptr;
    try {
        input = &LoadInputFile();
    } catch (...) {
        input = nullptr;
    }
    // The run goes on printing, so the reason gets a line of its own.
    if (input == nullptr) {
        std::printf("LogFirmwareOperation: Error loading file\n");
    } else if (!input->checksumValid) {
        std::printf("LogFirmwareOperation: Error file checksum\n");
    } else if (input->content.GetFileBuffer().empty()) {
        std::printf("LogFirmwareOperation: Error getting FW data\n");
    } else if (input->content.GetDataSize() == 0) {
        std::printf("LogFirmwareOperation: Error zero size of file\n");
    } else {
        if (input->digest.empty()) {
            const std::span<const std::uint8_t> buffer = input->content.GetFileBuffer();
            MD5 md5;
            md5.Update(buffer.first(std::min<std::size_t>(input->content.GetDataSize(), buffer.size())));
            input->digest = md5.Finalize().HexDigest().substr(0, kDigestLength);
        }
        return input->digest;
    }
    return std::string();
}
