// Self-check of the shipped device library: every device loads and is consistent.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "TestSupport.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/SectorTable.h"
#include "torq/devlib/Text.h"

namespace torq {
namespace {

struct LoadedDevice {
    std::string vendor, type;
    DeviceRecord record;
};

class SampleLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::CopySampleLibrary(home.Path());
        library = std::make_unique<DeviceLibrary>(dirs);
        for (const auto& vendor : library->VendorsInFileOrder()) {
            for (const auto& type : library->TypesInFileOrder(vendor)) {
                test::ScriptedOperator op;
                const auto file = library->DeviceFileOf(vendor, type);
                ASSERT_TRUE(std::filesystem::is_regular_file(file)) << vendor << '/' << type;
                LoadedDevice device{vendor, type,
                                    LoadDeviceRecord(file, dirs, DeviceRecord{}, vendor, type, op)};
                EXPECT_TRUE(op.messages.empty())
                    << vendor << '/' << type << ": " << op.messages[0].text;
                devices.push_back(std::move(device));
            }
        }
    }
    test::TempDir home;
    ProgramDirectory dirs = ProgramDirectory::Portable(home.Path());
    std::unique_ptr<DeviceLibrary> library;
    std::vector<LoadedDevice> devices;
};

TEST_F(SampleLibraryTest, IdentityAndListsAreClean) {
    test::ScriptedOperator op;
    const auto check = library->Check(op);
    EXPECT_TRUE(check.identityOk);
    EXPECT_NE(check.dateText, "None");
    EXPECT_TRUE(op.messages.empty());
    EXPECT_GE(check.vendorList.size(), 8u);
    EXPECT_GE(devices.size(), 40u);
    for (const auto& vendor : check.vendorList)
        EXPECT_TRUE(library->TypesOf(vendor).errors.empty());
    EXPECT_GE(library->ReadIdEntries().size(), 2u);
    for (const char* image :
         {"FLASH\\SPI_25_18V.drv", "FLASH\\SPI_25_25V.drv", "FLASH\\SPI_25.drv"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(dirs.DriverImage(image))) << image;
    }
}

TEST_F(SampleLibraryTest, EveryDeviceIsConsistent) {
    for (const auto& [vendor, type, r] : devices) {
        SCOPED_TRACE(vendor + "/" + type);
        EXPECT_FALSE(r.driverImagePath.empty());
        EXPECT_EQ(CheckDeviceRecord(r), std::nullopt);
        EXPECT_GT(r.deviceSize, 0u);
        EXPECT_LE(r.deviceSize, 16u * 1024 * 1024 + 16u * 1024 * 1024 / 32);
        EXPECT_GT(r.pageSize, 0);
        const bool dataFlash = Contains(r.driverImagePath.filename().string(), "_45");
        if (dataFlash) {
            const std::uint64_t pageBytes =
                static_cast<std::uint64_t>(r.pageSize + r.pageSpareSize);
            EXPECT_EQ(static_cast<std::uint64_t>(r.blockCount) * r.pageOfBlock * pageBytes,
                      r.deviceSize);
        } else {
            EXPECT_TRUE(Contains(r.driverImagePath.filename().string(), "_25"));
            EXPECT_TRUE(r.ProgramVariant() >= 1 && r.ProgramVariant() <= 3);
            EXPECT_TRUE(r.EraseSelector() >= 1 && r.EraseSelector() <= 6);
        }
        EXPECT_LE(r.IdSelector(), 4);
        EXPECT_GE(r.IdByteCount(), 1);
        EXPECT_LE(r.IdByteCount(), 4);
        if (r.protMode != 0) {
            EXPECT_TRUE(std::filesystem::is_regular_file(r.menuFilePath));
            const IniFile pages(r.menuFilePath);
            EXPECT_GT(pages.ReadInteger("CurrentUserPage", "Total", 0), 0);
        }
        if (IsPerSectorProtected(r.name)) {
            const auto family = At26FamilyOf(r.name);
            ASSERT_TRUE(family.has_value());
            const SectorTable table = ReadSectorTable(r.sectorTablePath, family->sectors);
            EXPECT_TRUE(table.Matches(family->sectors)) << table.entriesFound;
            EXPECT_EQ(table.starts.front(), 0u);
            for (std::size_t i = 1; i < table.starts.size(); ++i) {
                EXPECT_LT(table.starts[i - 1], table.starts[i]);
                EXPECT_LT(table.starts[i], r.deviceSize);
            }
        }
    }
}

TEST_F(SampleLibraryTest, CoversEveryVariantTheProgramKnows) {
    std::set<int> idSelectors, eraseSelectors, programVariants, spareSizes;
    std::set<std::string> at26;
    bool withPages = false, withoutPages = false, small = false, large = false;
    for (const auto& [vendor, type, r] : devices) {
        idSelectors.insert(r.IdSelector());
        const bool dataFlash = Contains(r.driverImagePath.filename().string(), "_45");
        if (dataFlash) {
            spareSizes.insert(r.pageSpareSize);
        } else {
            eraseSelectors.insert(r.EraseSelector());
            programVariants.insert(r.ProgramVariant());
        }
        if (const auto family = At26FamilyOf(r.name))
            at26.insert(std::string(family->nameTag));
        (r.protMode != 0 ? withPages : withoutPages) = true;
        small = small || r.deviceSize <= 2048;
        large = large || r.deviceSize >= 16u * 1024 * 1024;
    }
    EXPECT_EQ(idSelectors, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(eraseSelectors, (std::set<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(programVariants, (std::set<int>{1, 2, 3}));
    EXPECT_TRUE(spareSizes.count(0) && spareSizes.count(8));
    EXPECT_EQ(at26.size(), 4u);
    EXPECT_TRUE(withPages && withoutPages && small && large);
}

}  // namespace
}  // namespace torq
