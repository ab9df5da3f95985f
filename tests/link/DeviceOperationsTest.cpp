// The device operations against the simulated programmer: what reaches the chip, the wire and
// the log.
#include "torq/link/DeviceOperations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "LinkFixtures.h"
#include "TestSupport.h"
#include "torq/buffer/BufferFile.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/Text.h"

namespace torq {
namespace {

using test::Messages;

constexpr std::string_view kFailure = "Error : Please check the status of communication devices !";

// A home folder with the shipped library, one device loaded from it, and a simulated programmer
// holding the given chip, enumerated with the device's image.
class OperationsTest : public ::testing::Test {
  protected:
    void Use(const std::string& vendor, const std::string& type, const std::string& chip,
             bool binaryPages = false) {
        test::CopySampleLibrary(home.Path());
        const DeviceLibrary library(dirs);
        record = LoadDeviceRecord(library.DeviceFileOf(vendor, type), dirs, DeviceRecord{}, vendor,
                                  type, link.op);
        ASSERT_FALSE(record.driverImagePath.empty());
        auto setup = test::SetupWith(chip);
        setup.binaryPages = binaryPages;
        setup.writeProtectHeld = writeProtectHeld;
        link_ = std::make_unique<test::SimulatedLink>(std::move(setup));
        ASSERT_EQ(link_->Enumerate(record.driverImagePath).programmers, 1);
        ops = std::make_unique<DeviceOperations>(link_->programmer, dirs, link_->clock);
    }
    test::SimulatedLink& Link() { return *link_; }
    // The parameter-page values as Menu.ini holds them.
    PageValues Values() const { return PageValues::Read(dirs.MenuIni()); }
    std::vector<std::string> Lines() const { return Messages(link_->log); }
    void ClearLog() {
        link_->log.Clear();
        link_->sim.ClearLog();
    }
    std::vector<std::uint8_t> RandomImage(std::size_t size, unsigned seed = 7) const {
        std::mt19937 random(seed);
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    }
    void WriteBuffer(const std::vector<std::uint8_t>& bytes) const {
        std::ofstream(dirs.BufferFile(), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> ReadBuffer() const {
        const std::string text = test::ReadFile(dirs.BufferFile());
        return {text.begin(), text.end()};
    }
    // Control requests of the transfer log with this code.
    std::vector<sim::SimTransfer> Requests(std::uint8_t code) const {
        std::vector<sim::SimTransfer> found;
        for (const auto& t : link_->sim.Log()) {
            if (t.kind == sim::TransferKind::ControlOut && t.request == code)
                found.push_back(t);
        }
        return found;
    }
    std::vector<std::vector<std::uint8_t>> BulkOuts() const {
        std::vector<std::vector<std::uint8_t>> blocks;
        for (const auto& t : link_->sim.Log()) {
            if (t.kind == sim::TransferKind::BulkOut)
                blocks.push_back(t.data);
        }
        return blocks;
    }

    test::TempDir home;
    ProgramDirectory dirs = ProgramDirectory::Portable(home.Path());
    bool writeProtectHeld = false;  // the simulated board holds the chip's WP# pin low
    test::SimulatedLink link;       // only its operator, for loading the record
    std::unique_ptr<test::SimulatedLink> link_;
    DeviceRecord record;
    std::unique_ptr<DeviceOperations> ops;
};

TEST_F(OperationsTest, EraseBlankProgramVerifyAndReadRoundTrip) {
    Use("Winbond", "W25X10", "W25X10");
    const auto image = RandomImage(record.deviceSize);
    WriteBuffer(image);
    EXPECT_TRUE(ops->EraseDevice(record, Values()));
    EXPECT_TRUE(ops->BlankCheck(record));
    EXPECT_TRUE(ops->ProgramDevice(record, Values()));
    EXPECT_FALSE(ops->BlankCheck(record));
    EXPECT_TRUE(ops->VerifyDevice(record, {}));
    WriteBuffer({});
    EXPECT_TRUE(ops->ReadDevice(record));
    EXPECT_EQ(ReadBuffer(), image);
    const auto data =
        std::find_if(image.begin(), image.end(), [](std::uint8_t b) { return b != 0xFF; });
    const std::string notBlank =
        NotBlankLine(static_cast<std::uint64_t>(data - image.begin()), *data);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "Unprotect : Pass", "Erase : Pass", "Blank Check : Pass",
                           "Unprotect : Pass", "Program : Pass", "Blank Check : Fail", notBlank,
                           "Protection : Status Register=0x00 : no block-protect "
                           "bits set",
                           "Verify : Pass", "Read : Pass"}));
}

// A chip that stays protected: Unprotect and Erase report Pass (the firmware cannot tell), but
// the blank check names the first address with data and what the status register says, with the
// likely cause: the Premium values that Unprotect writes, or a register locked while the board
// holds the WP# pin low.
TEST_F(OperationsTest, ABlankCheckThatFailsNamesTheDataAndTheProtection) {
    struct Case {
        const char* name;
        bool wpHeld;
        const char* premiumStatus;  // Status register 1 on the Premium page
        const char* protection;
    };
    const Case cases[] = {
        {"Premium values", false, "28",
         "Protection : Status Register=0x1C : block-protect bits=0x07 set : Unprotect writes "
         "them from the Premium values; set those to 0"},
        {"WP# held", true, "0",
         "Protection : Status Register=0x9C : block-protect bits=0x07, SRWD (bit 7) set : "
         "locked, likely by the WP# pin held low; Unprotect cannot clear them"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeProtectHeld = c.wpHeld;
        Use("Winbond", "W25Q64FV", "W25Q64FV");
        Link().sim.Chip()->Memory().Write(0x12345, std::vector<std::uint8_t>{0x5A});
        PageValues values;
        values.Set(0, 0, c.premiumStatus);
        values.Set(0, 1, "0");
        ClearLog();
        EXPECT_TRUE(ops->EraseDevice(record, values));
        EXPECT_FALSE(ops->BlankCheck(record, values));
        EXPECT_EQ(Lines(), (std::vector<std::string>{"Unprotect : Pass", "Erase : Pass",
                                                     "Blank Check : Fail",
                                                     "First not blank address : 0x00012345 : "
                                                     "IC=0x5A",
                                                     c.protection}));
    }

    // An erase that ends on a failed transfer says the same of the status register.
    writeProtectHeld = true;
    Use("Winbond", "W25Q64FV", "W25Q64FV");
    ClearLog();
    ASSERT_TRUE(ops->EraseDevice(record, PageValues()));
    const auto& wire = Link().sim.Log();
    const auto script = std::find_if(wire.rbegin(), wire.rend(), [](const sim::SimTransfer& t) {
        return t.kind == sim::TransferKind::BulkOut;
    });
    ASSERT_NE(script, wire.rend());
    // The erase script is the last block sent; the poll after it is the next transfer.
    const auto poll = static_cast<std::uint64_t>(wire.rend() - script) + 1;
    ClearLog();
    Link().sim.FailTransfer(poll, sim::FaultEffect::FailAfterData);
    EXPECT_FALSE(ops->EraseDevice(record, PageValues()));
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Erase : Fail");
    EXPECT_TRUE(lines[2].starts_with("Protection : Status Register=0x9C : ")) << lines[2];
}

TEST_F(OperationsTest, ProgramFollowsTheBufferLengthAndItsLastPage) {
    Use("Winbond", "W25X10", "W25X10");
    ASSERT_TRUE(ops->EraseDevice(record, Values()));
    WriteBuffer(RandomImage(300));
    ClearLog();
    ASSERT_TRUE(ops->ProgramDevice(record, Values()));
    const auto blocks = BulkOuts();
    ASSERT_EQ(blocks.size(), 3u);  // the unprotect script, then two pages
    EXPECT_EQ(blocks[2].size(), 320u);
    EXPECT_EQ(std::vector<std::uint8_t>(blocks[2].begin(), blocks[2].begin() + 6),
              (std::vector<std::uint8_t>{0x06, 0x00, 0x02, 0x00, 0x01, 0x00}));
    EXPECT_EQ(blocks[2][50], 0x05);
    // Bytes past the file stay erased; verify compares them as 0xFF.
    EXPECT_TRUE(ops->VerifyDevice(record, {}));

    WriteBuffer({});
    ClearLog();
    EXPECT_TRUE(ops->ProgramDevice(record, Values()));
    EXPECT_EQ(BulkOuts().size(), 1u);  // only the unprotect script
    EXPECT_EQ(Lines().back(), "Program : Pass");
}

TEST_F(OperationsTest, SequentialProgrammingInBothModes) {
    struct Case {
        const char* type;
        int mode;
    };
    for (const Case c : {Case{"SST25VF020B", 2}, Case{"SST25VF010A", 3}}) {
        SCOPED_TRACE(c.type);
        Use("SST", c.type, c.type);
        ASSERT_EQ(record.ProgramVariant(), c.mode);
        ASSERT_TRUE(ops->EraseDevice(record, Values()));
        const auto image = RandomImage(1000, 11);
        WriteBuffer(image);
        ClearLog();
        ASSERT_TRUE(ops->ProgramDevice(record, Values()));
        const auto start = Requests(request::kStartOperation);
        ASSERT_EQ(start.size(), 2u);
        EXPECT_EQ(start[1].value, 0x11);
        EXPECT_EQ(start[1].index, c.mode);
        const auto blocks = BulkOuts();
        ASSERT_EQ(blocks.size(), 5u);  // unprotect, then four 256-byte chunks
        EXPECT_EQ(blocks[4][2], c.mode == 2 ? 0xAD : 0xAF);
        EXPECT_EQ(blocks[4][4], 0x03);  // chunk 3 at 0x000300
        EXPECT_TRUE(ops->VerifyDevice(record, {}));
    }
}

TEST_F(OperationsTest, DataFlashInBothPageModes) {
    struct Case {
        const char* type;
        bool binary;
    };
    for (const Case c : {Case{"AT45DB041D", false}, Case{"AT45DB041D_256", true}}) {
        SCOPED_TRACE(c.type);
        Use("Atmel", c.type, "AT45DB041D", c.binary);
        const auto image = RandomImage(record.deviceSize, 3);
        WriteBuffer(image);
        ClearLog();
        ASSERT_TRUE(ops->EraseDevice(record, Values()));
        const auto erase = BulkOuts();
        const std::size_t setUp = c.binary ? 1 : 0;
        ASSERT_EQ(erase.size(), setUp + 256);  // 2048 pages, 8 per block
        if (c.binary) {
            EXPECT_EQ(erase[0][0], 0x3D);
        }
        EXPECT_EQ(erase[setUp + 1][2], c.binary ? 0x08 : 0x10);  // block 1: 8 or 16 x 256 bytes on
        EXPECT_TRUE(ops->BlankCheck(record));
        ASSERT_TRUE(ops->ProgramDevice(record, Values()));
        EXPECT_TRUE(ops->VerifyDevice(record, {}));
        WriteBuffer({});
        ASSERT_TRUE(ops->ReadDevice(record));
        EXPECT_EQ(ReadBuffer(), image);
    }
}

TEST_F(OperationsTest, VerifyListsDifferencesUpToTheLimit) {
    Use("Winbond", "W25X10", "W25X10");
    ASSERT_TRUE(ops->EraseDevice(record, Values()));
    auto image = std::vector<std::uint8_t>(record.deviceSize, 0xFF);
    for (std::size_t at : {0x10u, 0x20u, 0x1A2Bu, 0x3000u, 0x4000u})
        image[at] = 0x55;
    WriteBuffer(image);

    ClearLog();
    EXPECT_FALSE(ops->VerifyDevice(record, VerifyListing{true, 3}));
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Verify : Fail");
    EXPECT_EQ(link_->log.Lines()[1],  // one untimed entry
              "---Verify Errors Information---\n"
              "No.1 : 0x00000010 : Buffer=0x55, IC=0xFF\n"
              "No.2 : 0x00000020 : Buffer=0x55, IC=0xFF\n"
              "No.3 : 0x00001A2B : Buffer=0x55, IC=0xFF\n"
              "-------------------------------");
    // Stopped at the limit: no closing state poll.
    EXPECT_EQ(link_->sim.Log().back().kind, sim::TransferKind::BulkIn);

    ClearLog();
    EXPECT_FALSE(ops->VerifyDevice(record, VerifyListing{true, 100}));
    EXPECT_NE(link_->log.Lines()[1].find("No.005 : 0x00004000"), std::string::npos);

    ClearLog();
    EXPECT_FALSE(ops->VerifyDevice(record, VerifyListing{false, 100}));
    EXPECT_EQ(Lines(), std::vector<std::string>{"Verify : Fail"});
}

TEST_F(OperationsTest, AFailedReadKeepsTheBufferAndReportsTheFailure) {
    Use("Winbond", "W25X10", "W25X10");
    const auto image = RandomImage(4096);
    WriteBuffer(image);
    Link().sim.UnplugAfter(40);
    EXPECT_FALSE(ops->ReadDevice(record));
    EXPECT_EQ(Lines().back(), kFailure);
    EXPECT_EQ(ReadBuffer(), image);
    // No partial read is left beside the buffer.
    for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
        EXPECT_EQ(entry.path().filename().string().find("output.tmp."), std::string::npos);
}

TEST_F(OperationsTest, ReadWritesDeviceSizeBytesAndReadsTheStatusBack) {
    Use("Winbond", "W25X10", "W25X10");
    static_cast<sim::SerialFlashChip*>(Link().sim.Chip())->SetStatusForTest(0x9C);
    record.deviceSize = 1500;
    PageValues readBack;
    ASSERT_TRUE(ops->ReadDevice(record, &readBack));
    EXPECT_EQ(std::filesystem::file_size(dirs.BufferFile()), 1500u);
    EXPECT_EQ(readBack.Entries(), (std::vector<std::pair<std::string, std::string>>{
                                      {"Page0Com0Set", "7"}, {"Page0Com1Set", "1"}}));
}

TEST_F(OperationsTest, AFailedStatusReadBackStoresZeroWithoutItsOwnFailureLine) {
    Use("Winbond", "W25X10", "W25X10");
    static_cast<sim::SerialFlashChip*>(Link().sim.Chip())->SetStatusForTest(0x9C);
    // The 128 data blocks go through (transfers 1 to 261); the start request of the
    // read-back's exchange and its retry (around transfer 264) are lost.
    ClearLog();
    for (std::uint64_t nth = 263; nth <= 266; ++nth)
        Link().sim.FailTransfer(nth);
    // The read-back itself writes no line; the closing state poll then finds the programmer
    // restarted, and that one failure line ends the read. A failed read stores no values.
    PageValues readBack;
    EXPECT_FALSE(ops->ReadDevice(record, &readBack));
    EXPECT_EQ(Lines(), std::vector<std::string>{std::string(kFailure)});
    EXPECT_FALSE(readBack.Exists());
    // The read-back's other transfers are still made: its status-read script goes out.
    const auto blocks = BulkOuts();
    EXPECT_TRUE(std::any_of(blocks.begin(), blocks.end(),
                            [](const auto& b) { return b.size() == 64 && b[0] == 0x05; }));
}

TEST_F(OperationsTest, ADataFlashReadReadsNoStatusBack) {
    Use("Atmel", "AT45DB011D", "AT45DB011D");
    PageValues readBack;
    ASSERT_TRUE(ops->ReadDevice(record, &readBack));
    EXPECT_FALSE(readBack.Exists());
}

TEST_F(OperationsTest, ProtectWritesTheStatusFromThePageValues) {
    Use("Winbond", "W25X10", "W25X10");  // one status register opcode count 0, block-protect pages
    ASSERT_EQ(record.readStatusRegister, 0);
    IniFile menu(dirs.MenuIni());
    menu.WriteInteger("CurrentUserPageSetup", "Page0Com0Set", 7);
    menu.WriteInteger("CurrentUserPageSetup", "Page0Com1Set", 1);
    ASSERT_TRUE(menu.Save());
    ClearLog();
    ASSERT_TRUE(ops->ProtectDevice(record, ProtectDirection::Protect, Values()));
    const auto script = BulkOuts().at(0);
    EXPECT_EQ(
        std::vector<std::uint8_t>(script.begin(), script.begin() + 10),
        (std::vector<std::uint8_t>{0x06, 0x00, 0x50, 0x00, 0x01, 0x9C, 0x05, 0x00, 0x9C, 0x00}));
    EXPECT_EQ(static_cast<sim::SerialFlashChip*>(Link().sim.Chip())->Status() & 0x9C, 0x9C);
    EXPECT_EQ(Lines(), std::vector<std::string>{"Protect : Pass"});

    ClearLog();
    ASSERT_TRUE(ops->ProtectDevice(record, ProtectDirection::Unprotect, Values()));
    EXPECT_EQ(BulkOuts().at(0)[5], 0x00);
    EXPECT_EQ(Lines(), std::vector<std::string>{"Unprotect : Pass"});
}

TEST_F(OperationsTest, ProtectWithStatusRegisterOpcodesUsesTheMenuValuesInBothDirections) {
    Use("Winbond", "W25Q16DV", "W25Q16DV");
    ASSERT_EQ(record.readStatusRegister, 2);
    IniFile menu(dirs.MenuIni());
    menu.WriteInteger("CurrentUserPageSetup", "Page0Com0Set", 0x1C);
    menu.WriteInteger("CurrentUserPageSetup", "Page0Com1Set", 0x02);
    ASSERT_TRUE(menu.Save());
    for (const auto direction : {ProtectDirection::Protect, ProtectDirection::Unprotect}) {
        ClearLog();
        ASSERT_TRUE(ops->ProtectDevice(record, direction, Values()));
        const auto script = BulkOuts().at(0);
        EXPECT_EQ(std::vector<std::uint8_t>(script.begin(), script.begin() + 14),
                  (std::vector<std::uint8_t>{0x06, 0x00, 0x50, 0x00, 0x01, 0x1C, 0x02, 0x05, 0x00,
                                             0x1C, 0x35, 0x00, 0x02, 0x00}));
    }
}

TEST_F(OperationsTest, At26SectorsAreUnprotectedAndProtectedByTheirTable) {
    Use("Atmel", "AT26DF081A", "AT26DF081A");
    auto* chip = static_cast<sim::SerialFlashChip*>(Link().sim.Chip());
    ASSERT_TRUE(chip->SectorProtected(0));
    ASSERT_TRUE(ops->ProtectDevice(record, ProtectDirection::Unprotect, Values()));
    EXPECT_EQ(BulkOuts().back().size(), 128u);
    for (std::size_t s = 0; s < 19; ++s)
        EXPECT_FALSE(chip->SectorProtected(s)) << s;
    ASSERT_TRUE(ops->ProtectDevice(record, ProtectDirection::Protect, Values()));
    for (std::size_t s = 0; s < 19; ++s)
        EXPECT_TRUE(chip->SectorProtected(s)) << s;

    // A table with 18 entries: the warning, and nothing after the 0x61 exchange.
    std::ofstream(record.sectorTablePath, std::ios::trunc) << [] {
        std::string text;
        for (int i = 0; i < 18; ++i)
            text += "0X0" + HexText(static_cast<unsigned>(i), 1) + "0000,\r\n";
        return text;
    }();
    ClearLog();
    link.op.messages.clear();
    EXPECT_FALSE(ops->ProtectDevice(record, ProtectDirection::Unprotect, Values()));
    EXPECT_EQ(Link().op.Texts(), std::vector<std::string>{"The device library is wrong !"});
    EXPECT_TRUE(BulkOuts().empty());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(OperationsTest, EraseWithoutAnOpcodeFailsSilently) {
    Use("Winbond", "W25X10", "W25X10");
    record.eraseMode = 0x0001;
    ClearLog();
    EXPECT_FALSE(ops->EraseDevice(record, Values()));
    EXPECT_EQ(Lines(), std::vector<std::string>{"Unprotect : Pass"});
    EXPECT_TRUE(Requests(request::kStartOperation).size() == 1);  // only the unprotect's
}

TEST_F(OperationsTest, CommunicationFailuresEndWithTheFailureLine) {
    Use("Winbond", "W25X10", "W25X10");
    Link().programmer.Channel().SetProgrammerCount(0);
    ClearLog();
    EXPECT_FALSE(ops->BlankCheck(record));
    EXPECT_EQ(Lines(), std::vector<std::string>{std::string(kFailure)});
    // Only the firmware restart reached the bus: it is not gated.
    for (const auto& t : Link().sim.Log())
        EXPECT_EQ(t.request, 0xA0);

    Link().programmer.Channel().SetProgrammerCount(1);
    WriteBuffer(RandomImage(512));
    Link().sim.FailEvery({sim::TransferKind::ControlIn, request::kGetBlockReady});
    ClearLog();
    EXPECT_FALSE(ops->ProgramDevice(record, Values()));
    EXPECT_EQ(Lines().back(), kFailure);
}

// A folder (or a FIFO) in the buffer's place is refused before anything is sent, with a line
// that says what it is.
TEST_F(OperationsTest, AnUnreadableBufferFailsProgramAndVerifyInsteadOfSendingWrongData) {
    Use("Winbond", "W25X10", "W25X10");
    std::filesystem::remove(dirs.BufferFile());
    std::filesystem::create_directory(dirs.BufferFile());
    const std::string line = "Error : The buffer file " + dirs.BufferFile().string() +
                             " is not a regular file (a folder) !";
    ClearLog();
    EXPECT_FALSE(ops->ProgramDevice(record, Values()));
    EXPECT_EQ(Lines(), (std::vector<std::string>{line, "Program : Fail"}));
    EXPECT_TRUE(BulkOuts().empty());
    ClearLog();
    EXPECT_FALSE(ops->VerifyDevice(record, {}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{line, "Verify : Fail"}));
}

// Without a buffer file nothing can have been loaded: program and verify fail before any page
// is sent or compared, instead of passing on an "empty" image.
TEST_F(OperationsTest, AMissingBufferFailsProgramAndVerifyBeforeAnyTraffic) {
    Use("Winbond", "W25X10", "W25X10");
    std::filesystem::remove(dirs.BufferFile());
    for (const bool verify : {false, true}) {
        ClearLog();
        EXPECT_FALSE(verify ? ops->VerifyDevice(record, {}) : ops->ProgramDevice(record, Values()));
        ASSERT_EQ(Lines().size(), 2u);
        EXPECT_NE(Lines()[0].find("buffer file"), std::string::npos);
        EXPECT_EQ(Lines()[1], verify ? "Verify : Fail" : "Program : Fail");
        EXPECT_TRUE(Link().sim.Log().empty());
    }
}

// A status-register script longer than the 64-byte command block would go out cut short.
TEST_F(OperationsTest, AStatusScriptTooLongForOneBlockFailsTheProtect) {
    Use("Winbond", "W25Q16DV", "W25Q16DV");
    record.readStatusRegister = 15;  // 5 + 15 + 3 x 15 bytes
    ClearLog();
    EXPECT_FALSE(ops->ProtectDevice(record, ProtectDirection::Protect, Values()));
    EXPECT_EQ(Lines().back(), "Protect : Fail");
    EXPECT_TRUE(BulkOuts().empty());
}

// A record the operations cannot work with fails each operation with its reason and Fail line
// before anything is sent; nothing passes having checked nothing, and the buffer is kept.
TEST_F(OperationsTest, AnUnusableRecordFailsEveryOperationBeforeAnyTraffic) {
    Use("Atmel", "AT45DB041D", "AT45DB041D");
    WriteBuffer(RandomImage(record.deviceSize));
    const auto image = ReadBuffer();
    struct Case {
        const char* what;
        void (*spoil)(DeviceRecord&);
    };
    for (const Case& c : std::initializer_list<Case>{
             {"no size", [](DeviceRecord& r) { r.deviceSize = 0; }},
             {"size beyond 64 bits", [](DeviceRecord& r) { r.deviceSize = ~std::uint64_t{0}; }},
             {"one-byte pages", [](DeviceRecord& r) { r.pageSize = 1; }},
             {"page too big", [](DeviceRecord& r) { r.pageSize = 0x7FFFFFFF; }}}) {
        DeviceRecord spoilt = record;
        c.spoil(spoilt);
        ClearLog();
        EXPECT_FALSE(ops->ReadDevice(spoilt)) << c.what;
        EXPECT_FALSE(ops->VerifyDevice(spoilt, {})) << c.what;
        EXPECT_FALSE(ops->EraseDevice(spoilt, Values())) << c.what;
        EXPECT_FALSE(ops->ProgramDevice(spoilt, Values())) << c.what;
        EXPECT_FALSE(ops->BlankCheck(spoilt)) << c.what;
        EXPECT_TRUE(Link().sim.Log().empty()) << c.what;
        const auto lines = Lines();
        ASSERT_EQ(lines.size(), 10u) << c.what;
        EXPECT_EQ(lines[0].rfind("Error : ", 0), 0u) << lines[0];
        EXPECT_EQ(lines[1], "Read : Fail");
        EXPECT_EQ(lines[9], "Blank Check : Fail");
        EXPECT_EQ(ReadBuffer(), image) << c.what;
    }
}

TEST_F(OperationsTest, TargetResetLogsOnlyWithAPulse) {
    Use("Winbond", "W25X10", "W25X10");
    ClearLog();
    EXPECT_TRUE(ops->TargetReset(0x0101, 200));
    const auto reset = Requests(request::kTargetReset);
    ASSERT_EQ(reset.size(), 1u);
    EXPECT_EQ(reset[0].value, 0x0101);
    EXPECT_EQ(reset[0].index, 200);
    EXPECT_EQ(Lines(), std::vector<std::string>{"Reset : Pass"});

    Link().programmer.Channel().SetProgrammerCount(0);
    ClearLog();
    EXPECT_FALSE(ops->TargetReset(1, 0));
    EXPECT_TRUE(Lines().empty());
    EXPECT_FALSE(ops->TargetReset(0x0100, 500));
    EXPECT_EQ(Lines(), std::vector<std::string>{"Reset : Fail"});
}

class CountingProgress final : public ProgressSink {
  public:
    void Progress(std::uint64_t done, std::uint64_t total) override {
        last = done;
        this->total = total;
        ++calls;
    }
    std::uint64_t last = 0, total = 0;
    int calls = 0;
};

TEST_F(OperationsTest, ProgressReachesTheEndWithoutExtraTraffic) {
    Use("Winbond", "W25X10", "W25X10");
    CountingProgress progress;
    ops->SetProgressSink(&progress);
    ClearLog();
    ASSERT_TRUE(ops->BlankCheck(record));
    EXPECT_EQ(progress.last, record.deviceSize);
    EXPECT_EQ(progress.total, record.deviceSize);
    // The test clock never moves, so only the first and the last report get through: the
    // window is not woken for every block.
    EXPECT_EQ(progress.calls, 2);
    // One block poll and one block per KiB, plus the frame.
    std::size_t bulkIns = 0;
    for (const auto& t : Link().sim.Log())
        bulkIns += t.kind == sim::TransferKind::BulkIn;
    EXPECT_EQ(bulkIns, record.deviceSize / 1024);
}

// A programmer that holds a state poll while the chip erases (real-time mode) still lets the
// window process its messages every few milliseconds of the wait.
TEST(HeldTransfers, TheWindowRunsWhileAPollIsHeld) {
    test::TempDir home;
    test::CopySampleLibrary(home.Path());
    const ProgramDirectory dirs = ProgramDirectory::Portable(home.Path());
    test::ScriptedOperator op;
    const DeviceLibrary library(dirs);
    const DeviceRecord record = LoadDeviceRecord(library.DeviceFileOf("Winbond", "W25Q16DV"), dirs,
                                                 DeviceRecord{}, "Winbond", "W25Q16DV", op);
    sim::SimulatedProgrammer simulator(test::SetupWith("W25Q16DV"));
    auto clock = std::make_shared<sim::VirtualClock>();
    simulator.SetRealTime(clock);
    struct CountingPump final : Pump {
        void ProcessPendingMessages() override { ++calls; }
        int calls = 0;
    } pump;
    InformationLog log;
    Programmer programmer(simulator, log, op, pump);
    ASSERT_EQ(programmer.EnumerateProgrammers(record.driverImagePath, 0).programmers, 1);
    DeviceOperations ops(programmer, dirs);
    const auto start = clock->Now();
    ASSERT_TRUE(ops.EraseDevice(record, PageValues{}));
    const auto busy = clock->Now() - start;
    ASSERT_GT(busy, std::chrono::seconds(1));  // the chip erase took its datasheet time
    // One turn for every 10 ms slice of the wait, give or take the last one of each poll.
    EXPECT_GE(pump.calls, busy / std::chrono::milliseconds(10) / 2);
}

}  // namespace
}  // namespace torq
