// A second process on the camera API library: opens camera 0 of the state
// directory in ZVAPI_EMULATOR_DIR and reads or writes one thing.
//   zvapi32_probe string PARAM               prints the string parameter
//   zvapi32_probe read NAME SIZE             prints SIZE bytes of the flash file in hex
//   zvapi32_probe write NAME KEY HEXBYTES    writes the bytes at offset 0
// Exits with the first non-zero result code.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zvapi32.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        return 2;
    }
    const std::string what = argv[1];
    ZV_HANDLE h = 0;
    int rc = zvOpenDevice(0, &h);
    if (rc) {
        return rc;
    }
    if (what == "string") {
        char text[256] = {};
        rc = zvGetParamString(h, argv[2], text, sizeof text);
        if (!rc) {
            std::printf("%s\n", text);
        }
    } else if (what == "read" && argc == 4) {
        const std::string name = argv[2];
        std::vector<char> bytes(std::strtoul(argv[3], nullptr, 0));
        rc = zvSetParamString(h, "ffs_file_name", name.data(), static_cast<uint32_t>(name.size()));
        if (!rc) {
            rc = zvGetParamString(h, "read_file_ffs", bytes.data(), static_cast<int32_t>(bytes.size()));
        }
        if (!rc) {
            for (char b : bytes) {
                std::printf("%02x", static_cast<unsigned char>(b));
            }
            std::printf("\n");
        }
    } else if (what == "write" && argc == 5) {
        const std::string name = argv[2];
        const std::string hex = argv[4];
        std::vector<char> bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            bytes.push_back(static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
        }
        rc = zvSetParamInt(h, "ffs_access_key", static_cast<int32_t>(std::strtoul(argv[3], nullptr, 0)));
        if (!rc) {
            rc = zvSetParamString(h, "ffs_file_name", name.data(), static_cast<uint32_t>(name.size()));
        }
        if (!rc) {
            rc = zvSetParamString(h, "write_file_ffs", bytes.data(), static_cast<uint32_t>(bytes.size()));
        }
    } else {
        rc = 2;
    }
    zvCloseDevice(h);
    return rc;
}
