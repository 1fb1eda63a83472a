#include "info_partition_backup.h"

#include "text_format.h"
#include "updater_error.h"
#include "usb3_memory_map.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "os_file_path.h"

namespace {

std::vector<std::uint8_t> ReadWhole(const std::string& name)
{
    std::ifstream in(zv::os::FilePath(name), std::ios::binary);
    if (!in) {
        throw UpdaterError(FormatText("InfoPartition backup %s can not be read", name.c_str()));
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Two locations that differ only in characters a file name cannot hold must
// not share a backup: the name carries a digest of the whole identity.
std::uint32_t Fnv1a(std::string_view text)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    }
    return hash;
}

}  // namespace

bool IsKnownInfoFormat(std::span<const std::uint8_t> partition)
{
    if (partition.size() < usb3map::kInfoPartitionMinSize) {
        return false;
    }
    const std::uint32_t format = usb3map::ReadLe32(partition, usb3map::kInfoFormatOffset);
    return format >= 1 && format <= 3;
}

bool IsUnfinishedInfoPartition(std::span<const std::uint8_t> partition)
{
    return partition.size() >= 4 && usb3map::ReadLe32(partition, usb3map::kInfoFormatOffset) == 0xFFFFFFFFu;
}

std::vector<std::uint8_t> BuildInfoPartitionImage(std::span<const std::uint8_t> current, std::uint32_t mask, bool set)
{
    using namespace usb3map;
    std::vector<std::uint8_t> image(current.begin(), current.end());
    const std::uint32_t format = ReadLe32(image, kInfoFormatOffset);
    std::printf("InfoPartition format version %d\n", static_cast<int>(format));
    std::uint32_t flags = ReadLe32(image, kInfoFlagsOffset);
    if (format == 1) {
        std::printf("InfoPartition format auto upgrade to version 2\n");
        flags = 0;
        WriteLe32(image, kInfoFormatOffset, 2);
        WriteLe32(image, kInfoFormatWordOffset, kInfoFormatWordValue);
    } else if (format == 2) {
        WriteLe32(image, kInfoFormatWordOffset, kInfoFormatWordValue);
    } else if (format != 3) {
        throw UpdaterError("Format of current partition is not supported");
    }
    flags &= ~mask;
    if (set) {
        flags |= mask;
        std::printf("Setting device flag to 1\n");
    } else {
        std::printf("Setting device flag to 0\n");
    }
    WriteLe32(image, kInfoFlagsOffset, flags);
    return image;
}

InfoPartitionBackup::InfoPartitionBackup(std::string_view cameraIdentity)
{
    std::string readable;
    for (const char c : cameraIdentity.substr(0, 64)) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        readable += keep ? c : '_';
    }
    name_ = FormatText("info_backup_%s_%08x.bin", readable.c_str(), Fnv1a(cameraIdentity));
}

bool InfoPartitionBackup::Exists() const
{
    return zv::os::FileExists(name_);
}

void InfoPartitionBackup::Write(std::span<const std::uint8_t> partition) const
{
    const std::string temporary = name_ + ".tmp";
    {
        std::ofstream out(zv::os::FilePath(temporary), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(partition.data()), static_cast<std::streamsize>(partition.size()));
        out.close();
        if (!out) {
            throw UpdaterError(FormatText("InfoPartition backup %s can not be written", temporary.c_str()));
        }
    }
    const std::vector<std::uint8_t> back = ReadWhole(temporary);
    if (!std::equal(back.begin(), back.end(), partition.begin(), partition.end())) {
        throw UpdaterError(FormatText("InfoPartition backup %s reads back different", temporary.c_str()));
    }
    std::error_code ec;
    zv::os::RenameFile(temporary, name_, ec);
    if (ec) {
        throw UpdaterError(FormatText("InfoPartition backup %s can not be written", name_.c_str()));
    }
}

std::vector<std::uint8_t> InfoPartitionBackup::Load(std::size_t size) const
{
    std::vector<std::uint8_t> partition = ReadWhole(name_);
    if (partition.size() != size || !IsKnownInfoFormat(partition)) {
        throw UpdaterError(FormatText(
            "InfoPartition backup %s is not a whole info partition of a known format; nothing written", name_.c_str()));
    }
    return partition;
}

void InfoPartitionBackup::Remove() const
{
    zv::os::RemoveFile(name_);
}

std::string InfoPartitionBackup::MissingForRewriteText() const
{
    return FormatText("An update of this camera's info partition was interrupted and its backup %s is not in this "
                      "directory: run the same command in the directory that holds %s; nothing written",
                      name_.c_str(), name_.c_str());
}

std::string InfoPartitionBackup::UnfinishedForReadText() const
{
    if (Exists()) {
        return FormatText("An update of this camera's info partition was interrupted and its backup %s in this "
                          "directory waits to be restored: run the interrupted command (or prog REST_INFO 0 with the "
                          "same camera options) again in this directory",
                          name_.c_str());
    }
    return FormatText("An update of this camera's info partition was interrupted: run the interrupted command (or "
                      "prog REST_INFO 0 with the same camera options) again in the directory that holds its backup %s",
                      name_.c_str());
}
