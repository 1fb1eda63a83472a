#include "fw_sel_item.h"

#include <gtest/gtest.h>

#include <set>

TEST(FwSelItem, LookupsByNameAndId)
{
    const FwSelItem cpu1 = GetFwSelItemByName("CPU1");
    EXPECT_EQ(cpu1.id, 1);
    EXPECT_TRUE(cpu1.checkModelName);
    EXPECT_TRUE(cpu1.needsFile);
    const FwSelItem devver = GetFwSelItemByName("DEVVER");
    EXPECT_EQ(devver.id, 302);
    EXPECT_FALSE(devver.checkModelName);
    EXPECT_TRUE(devver.needsFile);
    EXPECT_FALSE(GetFwSelItemByName("FLAG_U3V").needsFile);

    for (const char* unknown : {"cpu1", "CPU1 ", "", "CPU"}) {
        EXPECT_EQ(GetFwSelItemByName(unknown).id, 0) << unknown;
    }

    EXPECT_EQ(GetFwSelItemById(6).name, "MCU1");
    EXPECT_EQ(GetFwSelItemById(52).id, 0);
    EXPECT_EQ(GetFwSelItemById(0).id, 0);
    EXPECT_EQ(GetFwTypeName(6), "MCU1");
    EXPECT_EQ(GetFwTypeName(1002), "FFC");
    EXPECT_EQ(GetFwTypeName(52), "");
}

TEST(FwSelItem, TableRowsAreUsable)
{
    std::set<std::string_view> names;
    std::set<std::int32_t> ids;
    for (const FwSelItem& item : kFwSelItems) {
        EXPECT_NE(item.id, 0);
        EXPECT_LE(item.name.size(), 19u);
        names.insert(item.name);
        ids.insert(item.id);
        // Every row is found again by its own name and id.
        EXPECT_EQ(GetFwSelItemByName(item.name).id, item.id);
        EXPECT_EQ(GetFwSelItemById(item.id).name, item.name);
    }
    EXPECT_EQ(names.size(), kFwSelItems.size());
    EXPECT_EQ(ids.size(), kFwSelItems.size());
}
