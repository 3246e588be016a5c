#include <gtest/gtest.h>

#include "platform/os.h"

TEST(OsTest, MachineMarkIsStableAndNeverZero) {
    const auto mark = osMachineMark();
    EXPECT_NE(mark, 0u);
    EXPECT_EQ(osMachineMark(), mark);
}

TEST(OsTest, PhysicalMemoryCanBeOverridden) {
    const auto real = osPhysicalMemory();
    EXPECT_GT(real, 0u);
    osSetPhysicalMemoryOverride(1000);
    EXPECT_EQ(osPhysicalMemory(), 1000u);
    osSetPhysicalMemoryOverride(0);
    EXPECT_EQ(osPhysicalMemory(), real);
}

TEST(OsTest, LibraryFolderAndVersion) {
    const std::string folder = osLibraryFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_FALSE(osFileVersion().empty());
}

TEST(OsTest, EscapePressIsTakenOnce) {
    EXPECT_FALSE(osTakeEscape());
    osPressEscape();
    EXPECT_TRUE(osTakeEscape());
    EXPECT_FALSE(osTakeEscape());
}
