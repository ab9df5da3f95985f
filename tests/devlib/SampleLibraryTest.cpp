// Self-check of the shipped device library: every device loads and is consistent, and works on
// the simulator's chip of its name (the simulator's catalog is written from the datasheets, not
// from the library, so a wrong ID, size or erase opcode in the library shows up here).
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <stdexcept>

#include "../link/LinkFixtures.h"
#include "TestSupport.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/PageValues.h"
#include "torq/devlib/SectorTable.h"
#include "torq/devlib/Text.h"
#include "torq/link/DeviceOperations.h"
#include "torq/link/Identification.h"
#include "torq/sim/ChipCatalog.h"

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
    const LoadedDevice& Device(std::string_view type) const {
        for (const auto& device : devices) {
            if (device.type == type)
                return device;
        }
        throw std::invalid_argument(std::string(type));
    }
    // A simulated programmer holding the device's chip (a DataFlash entry without spare bytes
    // is the part set to power-of-two pages), enumerated with the device's image.
    std::unique_ptr<test::SimulatedLink> OnItsChip(const LoadedDevice& device) const {
        const std::string chip = device.type.substr(0, device.type.find('_'));
        const sim::ChipSpec* spec = sim::FindChip(chip);
        if (!spec) {
            ADD_FAILURE() << "the simulator has no " << chip;
            return nullptr;
        }
        sim::ProgrammerSetup setup;
        setup.chip = *spec;
        setup.binaryPages =
            spec->kind == sim::ChipKind::DataFlash && device.record.pageSpareSize == 0;
        auto link = std::make_unique<test::SimulatedLink>(std::move(setup));
        link->sim.EnableLog(false);  // whole chips are read
        EXPECT_EQ(link->Enumerate(device.record.driverImagePath).programmers, 1);
        return link;
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

// Read ID passes on the device's own chip, erase leaves it blank (the erase opcode is one the
// part has), and detection finds the device itself, or nothing for the devices it cannot tell.
TEST_F(SampleLibraryTest, EveryDeviceIdentifiesErasesAndIsDetectedOnItsChip) {
    for (const LoadedDevice& device : devices) {
        SCOPED_TRACE(device.vendor + "/" + device.type);
        const DeviceRecord& record = device.record;
        const auto link = OnItsChip(device);
        if (!link)
            continue;
        EXPECT_TRUE(ReadId(link->programmer, record)) << test::Messages(link->log).back();

        sim::SpiChip& chip = *link->sim.Chip();
        if (chip.Spec().kind != sim::ChipKind::Eeprom) {  // serial EEPROMs have no erase
            const std::uint64_t size = chip.Spec().size;
            for (const std::uint64_t at : {std::uint64_t{0}, size / 2 + 5, size - 1})
                chip.Memory().Write(at, std::vector<std::uint8_t>{0x00});
            DeviceOperations operations(link->programmer, dirs, link->clock);
            EXPECT_TRUE(operations.EraseDevice(record, PageValues::Defaults(record.menuFilePath)));
            EXPECT_TRUE(operations.BlankCheck(record)) << test::Messages(link->log).back();
        }

        const DetectionResult found = AutoDetectDevice(link->programmer, *library, false);
        if (library->DetectManCode(device.vendor, device.type) == kDetectManCodeDefault) {
            EXPECT_FALSE(found.found) << found.vendor << "/" << found.type;
        } else {
            EXPECT_EQ(found.vendor + "/" + found.type, device.vendor + "/" + device.type);
        }
    }
}

// Parts with the same ID but another page layout: a DataFlash part set to power-of-two pages
// (for good) against the same part in its standard pages, and AT45DB642D against the E part of
// its density. Read ID refuses the other layout's entry, before an erase sends the page-size
// set-up or a program writes pages in the wrong places.
TEST_F(SampleLibraryTest, ReadIdRefusesTheEntryOfAnotherPageLayout) {
    for (const auto& [entry, other] :
         {std::pair{"AT45DB041D", "AT45DB041D_256"}, std::pair{"AT45DB161D", "AT45DB161D_512"},
          std::pair{"AT45DB642D", "AT45DB641E"}}) {
        for (const auto& [chipOf, wrong] : {std::pair{entry, other}, std::pair{other, entry}}) {
            SCOPED_TRACE(std::string(wrong) + " on the chip of " + chipOf);
            const auto link = OnItsChip(Device(chipOf));
            ASSERT_TRUE(link);
            EXPECT_FALSE(ReadId(link->programmer, Device(wrong).record));
            EXPECT_TRUE(ReadId(link->programmer, Device(chipOf).record));
        }
    }
    // A part that has only its standard entry, switched to power-of-two pages.
    for (const char* type : {"AT45DB011D", "AT45DB081D"}) {
        sim::ProgrammerSetup setup;
        setup.chip = *sim::FindChip(type);
        setup.binaryPages = true;
        test::SimulatedLink link(std::move(setup));
        ASSERT_EQ(link.Enumerate(Device(type).record.driverImagePath).programmers, 1);
        EXPECT_FALSE(ReadId(link.programmer, Device(type).record)) << type;
    }
}

}  // namespace
}  // namespace torq
