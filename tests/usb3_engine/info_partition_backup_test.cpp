#include "info_partition_backup.h"

#include "temp_dir.h"
#include "updater_error.h"
#include "usb3_memory_map.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class WorkIn {
public:
    explicit WorkIn(const std::filesystem::path& dir) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~WorkIn() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

std::vector<std::uint8_t> Partition(std::uint32_t format, std::size_t size = usb3map::kInfoPartitionMinSize)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    usb3map::WriteLe32(bytes, 0, format);
    return bytes;
}

TEST(InfoPartitionBackup, KeepsAWholePartitionUntilRemoved)
{
    zvtest::TempDir dir;
    WorkIn work(dir.path());
    const InfoPartitionBackup backup("PCIROOT(0)#USB(1)#USB(3)");
    EXPECT_FALSE(backup.Exists());
    const auto partition = Partition(3);
    backup.Write(partition);
    EXPECT_TRUE(backup.Exists());
    EXPECT_EQ(backup.Load(partition.size()), partition);
    // Nothing temporary is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    backup.Remove();
    EXPECT_FALSE(backup.Exists());
}

TEST(InfoPartitionBackup, RefusesWhatIsNotAWholePartitionOfAKnownFormat)
{
    zvtest::TempDir dir;
    WorkIn work(dir.path());
    const InfoPartitionBackup backup("loc");
    const std::vector<std::vector<std::uint8_t>> bad = {
        Partition(0), Partition(4), Partition(0xFFFFFFFF), Partition(2, usb3map::kInfoPartitionMinSize - 1), {}};
    for (const auto& bytes : bad) {
        zvtest::WriteFile(backup.Name(), bytes);
        try {
            backup.Load(usb3map::kInfoPartitionMinSize);
            ADD_FAILURE() << "accepted " << bytes.size() << " bytes";
        } catch (const UpdaterError& e) {
            EXPECT_EQ(std::string(e.what()), "InfoPartition backup " + backup.Name() +
                                                 " is not a whole info partition of a known format; nothing written");
        }
    }
}

TEST(InfoPartitionBackup, CamerasNeverShareABackup)
{
    // Locations that differ only in characters a file name cannot hold.
    const InfoPartitionBackup a("USB(1)#USB(2)");
    const InfoPartitionBackup b("USB(1)/USB(2)");
    EXPECT_NE(a.Name(), b.Name());
    EXPECT_EQ(a.Name().find('/'), std::string::npos);
    EXPECT_EQ(b.Name().find('/'), std::string::npos);
}

}  // namespace
