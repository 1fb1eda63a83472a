// zv-selftest-data WORKDIR: writes the data files that `zvcamupdater
// internal_tests` reads when it runs in WORKDIR (WORKDIR/test_data and
// WORKDIR/../data_updaters).

#include <cstdio>
#include <exception>

#include "selftest_data.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: zv-selftest-data WORKDIR\n");
        return 1;
    }
    try {
        for (const std::filesystem::path& file : WriteSelfTestData(argv[1])) {
            std::printf("%s\n", file.string().c_str());
        }
    } catch (const std::exception& error) {
        std::printf("zv-selftest-data: %s\n", error.what());
        return 1;
    }
    return 0;
}
