#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/ChipMemory.h"
#include "torq/sim/SpiChip.h"

namespace torq::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<SpiChip> Powered(const std::string& name, std::uint32_t millivolts = 3300,
                                 std::unique_ptr<ChipMemory> memory = {}) {
    auto chip = MakeChip(*FindChip(name), std::move(memory));
    chip->SetSupply(millivolts);
    return chip;
}

Bytes Send(SpiChip& chip, Bytes command, std::size_t answer = 0) {
    return chip.Transaction(command, answer);
}

std::string Describe(const Bytes& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", b);
        text += hex;
    }
    return text;
}

Bytes ReadArray(SpiChip& chip, std::uint32_t address, std::size_t length) {
    return Send(chip,
                {0x03, static_cast<std::uint8_t>(address >> 16),
                 static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)},
                length);
}

TEST(SerialFlash, PageProgramOnlyClearsBitsAndWrapsInsideItsPage) {
    auto chip = Powered("W25Q64FV");
    Send(*chip, {0x02, 0x00, 0x00, 0xFE, 0x11});  // no write enable: ignored
    EXPECT_EQ(ReadArray(*chip, 0xFE, 1), Bytes{0xFF});
    Send(*chip, {0x06});
    EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{0x02});  // WEL
    Send(*chip, {0x02, 0x00, 0x00, 0xFE, 0x0F, 0xF0, 0xAA});
    EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{0x00});  // WEL cleared by the program
    EXPECT_EQ(ReadArray(*chip, 0xFE, 2), (Bytes{0x0F, 0xF0}));
    EXPECT_EQ(ReadArray(*chip, 0x00, 1), Bytes{0xAA});   // wrapped to the start of the page
    EXPECT_EQ(ReadArray(*chip, 0x100, 1), Bytes{0xFF});  // the next page untouched
    Send(*chip, {0x06});
    Send(*chip, {0x02, 0x00, 0x00, 0xFE, 0xF0});
    EXPECT_EQ(ReadArray(*chip, 0xFE, 1), Bytes{0x00});  // 0x0F & 0xF0
}

TEST(SerialFlash, EraseSetsFFAndProtectedAreasStay) {
    auto chip = Powered("W25X40");  // 512 KiB, 3 BP bits, 64 KiB protect unit
    const auto programAt = [&](std::uint32_t address) {
        Send(*chip, {0x06});
        Send(*chip,
             {0x02, static_cast<std::uint8_t>(address >> 16),
              static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0x00});
    };
    programAt(0x001234);
    programAt(0x07FFFF);
    Send(*chip, {0x06});
    Send(*chip, {0x20, 0x00, 0x12, 0x00});  // 4 KiB sector erase
    EXPECT_EQ(ReadArray(*chip, 0x1234, 1), Bytes{0xFF});

    programAt(0x001234);
    Send(*chip, {0x06});
    Send(*chip, {0x01, 0x04});  // BP = 1: the top 64 KiB
    EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{0x04});
    Send(*chip, {0x06});
    Send(*chip, {0xC7});  // refused as a whole while anything is protected
    EXPECT_EQ(ReadArray(*chip, 0x1234, 1), Bytes{0x00});
    Send(*chip, {0x06});
    Send(*chip, {0xD8, 0x07, 0x00, 0x00});  // protected block
    EXPECT_EQ(ReadArray(*chip, 0x7FFFF, 1), Bytes{0x00});
    programAt(0x070000);
    EXPECT_EQ(ReadArray(*chip, 0x70000, 1), Bytes{0xFF});

    Send(*chip, {0x06});
    Send(*chip, {0x01, 0x00});
    Send(*chip, {0x06});
    Send(*chip, {0xC7});
    EXPECT_EQ(ReadArray(*chip, 0x1234, 1), Bytes{0xFF});
    EXPECT_EQ(ReadArray(*chip, 0x7FFFF, 1), Bytes{0xFF});
}

// The board holds WP# low on a chip whose status register is locked: no status write is taken
// (with write enable or 0x50), so the chip cannot be erased or programmed; a power cycle keeps the
// lock (even on a part that powers up protected), and once WP# is let go the register is
// writable again.
TEST(SerialFlash, AHeldWriteProtectPinKeepsALockedStatusRegister) {
    for (const char* name : {"W25Q64FV", "SST25VF016B"}) {
        SCOPED_TRACE(name);
        auto chip = MakeChip(*FindChip(name));
        auto& flash = dynamic_cast<SerialFlashChip&>(*chip);
        chip->SetSupply(3300);
        chip->Memory().Write(0x1000, Bytes{0x00});
        flash.LockStatusRegister();
        flash.HoldWriteProtect(true);
        const std::uint8_t locked = Send(*chip, {0x05}, 1)[0];
        EXPECT_EQ(locked & 0x80, 0x80);
        for (const Bytes& enable : {Bytes{0x06}, Bytes{0x50}}) {
            Send(*chip, enable);
            Send(*chip, {0x01, 0x00});
            EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{locked});
        }
        chip->SetSupply(0);
        chip->SetSupply(3300);
        EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{locked});
        for (const Bytes& erase : {Bytes{0x60}, Bytes{0xC7}, Bytes{0x20, 0x00, 0x10, 0x00}}) {
            Send(*chip, {0x06});
            Send(*chip, erase);
        }
        EXPECT_EQ(ReadArray(*chip, 0x1000, 1), Bytes{0x00});

        flash.HoldWriteProtect(false);
        Send(*chip, {0x06});
        Send(*chip, {0x01, 0x00});
        EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{0x00});
    }
}

// Each part has the erase commands of its datasheet; any other opcode does nothing.
TEST(SerialFlash, EraseCommandsAreThoseOfThePart) {
    struct Case {
        const char* chip;
        Bytes command;
        std::uint32_t erasedFrom, erasedTo;  // equal: nothing erased
    };
    const std::uint32_t whole = 0xFFFFFFFF;
    for (const Case& c : std::vector<Case>{
             {"W25X40", {0xC7}, 0, whole},
             {"W25X40", {0x60}, 0, 0},                    // chip erase is 0xC7 only
             {"W25X40", {0x52, 0x01, 0x00, 0x00}, 0, 0},  // no 32 KiB erase
             {"W25Q64FV", {0x60}, 0, whole},
             {"W25Q64FV", {0x52, 0x01, 0x00, 0x00}, 0x10000, 0x18000},
             {"M25P40", {0x60}, 0, 0},
             {"M25P40", {0xD8, 0x01, 0x23, 0x45}, 0x10000, 0x20000},
             {"M25P05-A", {0xD8, 0x00, 0x80, 0x00}, 0x8000, 0x10000},  // 32 KiB sectors
             {"SST25VF010A", {0xC7}, 0, 0},
             {"SST25VF010A", {0x60}, 0, whole},
             {"AT25F512A", {0xC7}, 0, 0},
             {"AT25F512A", {0x62}, 0, whole},
             {"S25FL016A", {0x60}, 0, 0},
             {"S25FL016A", {0x20, 0x01, 0x00, 0x00}, 0, 0},  // 64 KiB sectors only
             {"AT26DF041", {0xC7}, 0, 0},                    // no chip erase at all
             {"AT26DF041", {0x50, 0x00, 0x10, 0x00}, 0x1000, 0x1800},
             {"AT26DF041", {0x81, 0x00, 0x12, 0x34}, 0x1200, 0x1300},
             {"W25Q64FV", {0x20, 0x01, 0x00}, 0, 0},  // an address cut short: dropped
         }) {
        auto chip = Powered(c.chip);
        SCOPED_TRACE(std::string(c.chip) + " " + Describe(c.command));
        if (!chip->Spec().sectorStarts.empty()) {
            Send(*chip, {0x06});
            Send(*chip, {0x01, 0x00});  // global unprotect
        }
        if (chip->Spec().powerUpStatus) {
            Send(*chip, {0x50});
            Send(*chip, {0x01, 0x00});
        }
        const std::uint64_t size = chip->Spec().size;
        std::vector<std::uint64_t> probes{size - 1};
        for (const std::uint64_t at :
             {0x0, 0x0FFF, 0x1000, 0x11FF, 0x1200, 0x12FF, 0x1300, 0x17FF, 0x1800, 0x7FFF, 0x8000,
              0xFFFF, 0x10000, 0x17FFF, 0x18000, 0x1FFFF, 0x20000}) {
            if (at < size)
                probes.push_back(at);
        }
        for (const std::uint64_t at : probes)
            chip->Memory().Write(at, Bytes{0x00});
        Send(*chip, {0x06});
        Send(*chip, c.command);
        for (const std::uint64_t at : probes) {
            const bool erased = at >= c.erasedFrom && at < c.erasedTo;
            EXPECT_EQ(chip->Memory().ReadByte(at), erased ? 0xFF : 0x00) << std::hex << at;
        }
    }
}

// Timed, a program or erase keeps the part busy: the status shows it, other commands are
// ignored, and it ends after the part's typical time.
TEST(SerialFlash, TimedPartsAreBusyForTheirTypicalTimes) {
    auto chip = Powered("W25Q64FV");
    auto& flash = dynamic_cast<SerialFlashChip&>(*chip);
    chip->EnableTiming(true);
    chip->SetTime(SimTime{0});
    Send(*chip, {0x06});
    Send(*chip, {0x02, 0x00, 0x00, 0x00, 0x12});
    const SimTime program = chip->TypicalBusy(Bytes{0x02});
    EXPECT_EQ(program, std::chrono::microseconds(chip->Spec().pageProgramMicros));
    EXPECT_EQ(chip->BusyUntil(), program);
    EXPECT_EQ(Send(*chip, {0x05}, 2), (Bytes{0x03, 0x03}));  // WIP and WEL
    EXPECT_EQ(ReadArray(*chip, 0, 1), Bytes{0xFF});          // not while busy
    Send(*chip, {0x06});
    Send(*chip, {0xC7});  // ignored
    chip->SetTime(program);
    EXPECT_EQ(flash.Status(), 0x00);
    EXPECT_EQ(ReadArray(*chip, 0, 1), Bytes{0x12});
    Send(*chip, {0x06});
    Send(*chip, {0xC7});
    EXPECT_EQ(chip->BusyUntil(), program + std::chrono::microseconds(chip->Spec().chipEraseMicros));
    EXPECT_GE(chip->Spec().chipEraseMicros, 10'000'000u);  // seconds for 8 MiB
    chip->SetSupply(0);                                    // a power cycle ends it
    chip->SetSupply(3300);
    EXPECT_FALSE(chip->Busy());

    auto dataFlash = Powered("AT45DB041D");
    dataFlash->EnableTiming(true);
    Send(*dataFlash, {0x50, 0x00, 0x00, 0x00});
    EXPECT_EQ(Send(*dataFlash, {0xD7}, 1), Bytes{0x1C});  // ready bit clear
    dataFlash->SetTime(dataFlash->BusyUntil());
    EXPECT_EQ(Send(*dataFlash, {0xD7}, 1), Bytes{0x9C});

    // Untimed (the default), everything is done at once.
    auto untimed = Powered("W25Q64FV");
    Send(*untimed, {0x06});
    Send(*untimed, {0xC7});
    EXPECT_FALSE(untimed->Busy());
}

TEST(SerialFlash, IdentificationCommands) {
    auto winbond = Powered("W25Q64FV");
    EXPECT_EQ(Send(*winbond, {0x9F}, 4), (Bytes{0xEF, 0x40, 0x17, 0xEF}));
    EXPECT_EQ(Send(*winbond, {0xAB}, 5),
              (Bytes{0xFF, 0xFF, 0xFF, 0x16, 0x16}));  // three dummy bytes
    EXPECT_EQ(Send(*winbond, {0x90, 0, 0, 0}, 3), (Bytes{0xEF, 0x16, 0xEF}));
    EXPECT_EQ(Send(*winbond, {0x90, 0, 0, 1}, 2), (Bytes{0x16, 0xEF}));
    EXPECT_EQ(Send(*winbond, {0x4B}, 2), (Bytes{0xFF, 0xFF}));  // not modelled: undriven

    auto sst = Powered("SST25VF010A");
    EXPECT_EQ(Send(*sst, {0xAB}, 5), (Bytes{0xFF, 0xFF, 0xFF, 0xBF, 0x49}));
    EXPECT_EQ(Send(*sst, {0x9F}, 3), (Bytes{0xFF, 0xFF, 0xFF}));  // no JEDEC ID
    EXPECT_EQ(Send(*Powered("AT25F512A"), {0x15}, 3), (Bytes{0x1F, 0x65, 0xFF}));
    EXPECT_EQ(Send(*Powered("M25P05-A"), {0xAB, 0, 0, 0}, 2), (Bytes{0x05, 0x05}));

    // Outside its voltage range a part does not answer.
    auto low = Powered("W25Q64FW", 3300);
    EXPECT_FALSE(low->Powered());
    EXPECT_EQ(Send(*low, {0x9F}, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    low->SetSupply(1800);
    EXPECT_EQ(Send(*low, {0x9F}, 3), (Bytes{0xEF, 0x60, 0x17}));
}

TEST(SerialFlash, SstPartsStartProtectedAndProgramByAutoIncrement) {
    auto word = Powered("SST25VF016B");
    EXPECT_EQ(Send(*word, {0x05}, 1), Bytes{0x3C});
    Send(*word, {0x06});
    Send(*word, {0xAD, 0x00, 0x00, 0x00, 0x12, 0x34});
    EXPECT_EQ(ReadArray(*word, 0, 2), (Bytes{0xFF, 0xFF}));  // protected
    Send(*word, {0x04});
    Send(*word, {0x50});
    Send(*word, {0x01, 0x00});
    Send(*word, {0x06});
    Send(*word, {0xAD, 0x00, 0x01, 0x01, 0x12, 0x34});  // word address: bit 0 ignored
    EXPECT_EQ(Send(*word, {0x05}, 1)[0] & 0x40, 0x40);  // AAI mode
    Send(*word, {0xAD, 0x56, 0x78});
    Send(*word, {0x04});
    EXPECT_EQ(Send(*word, {0x05}, 1), Bytes{0x00});
    EXPECT_EQ(ReadArray(*word, 0x100, 5), (Bytes{0x12, 0x34, 0x56, 0x78, 0xFF}));

    auto byte = Powered("SST25VF010A");
    Send(*byte, {0x50});
    Send(*byte, {0x01, 0x00});
    Send(*byte, {0x06});
    Send(*byte, {0xAF, 0x00, 0x00, 0x10, 0xA1});
    Send(*byte, {0xAF, 0xA2});
    Send(*byte, {0x04});
    EXPECT_EQ(ReadArray(*byte, 0x10, 3), (Bytes{0xA1, 0xA2, 0xFF}));
}

TEST(SerialFlash, At26SectorsStartProtectedAndAreUnprotectedOneByOne) {
    auto chip = Powered("AT26DF081A");
    EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{0x1C});  // all sectors protected, WP not asserted
    EXPECT_EQ(Send(*chip, {0x3C, 0x0F, 0x80, 0x00}, 1), Bytes{0xFF});
    Send(*chip, {0x06});
    Send(*chip, {0x39, 0x0F, 0x80, 0x00});  // the 8 KiB sector at 0xF8000
    EXPECT_EQ(Send(*chip, {0x3C, 0x0F, 0x80, 0x00}, 1), Bytes{0x00});
    EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{0x14});  // some protected
    const auto program = [&](std::uint32_t address) {
        Send(*chip, {0x06});
        Send(*chip, {0x02, static_cast<std::uint8_t>(address >> 16),
                     static_cast<std::uint8_t>(address >> 8), 0x00, 0x5A});
        return ReadArray(*chip, address, 1)[0];
    };
    EXPECT_EQ(program(0xF8000), 0x5A);
    EXPECT_EQ(program(0xF0000), 0xFF);  // still protected

    chip->SetSupply(0);  // power cycle protects everything again
    chip->SetSupply(3300);
    EXPECT_EQ(Send(*chip, {0x3C, 0x0F, 0x80, 0x00}, 1), Bytes{0xFF});
    Send(*chip, {0x06});
    Send(*chip, {0x01, 0x00});  // global unprotect
    EXPECT_EQ(Send(*chip, {0x05}, 1), Bytes{0x10});
    EXPECT_EQ(program(0xF0000), 0x5A);
}

TEST(DataFlash, BufferToPageProgramAndContinuousRead) {
    auto chip = Powered("AT45DB041D");
    auto& flash = dynamic_cast<DataFlashChip&>(*chip);
    EXPECT_EQ(Send(*chip, {0xD7}, 2), (Bytes{0x9C, 0x9C}));
    EXPECT_EQ(Send(*chip, {0x9F}, 4), (Bytes{0x1F, 0x24, 0x00, 0x00}));  // no extended ID
    Bytes write{0x84, 0x00, 0x01, 0x06};  // buffer offset 262: the last two bytes and a wrap
    write.insert(write.end(), {0x11, 0x22, 0x33});
    Send(*chip, write);
    Send(*chip, {0x88, 0x00, 0x06, 0x00});  // page 3 (page address << 9)
    EXPECT_EQ(flash.ByteAt(3 * 264 + 262), 0x11);
    EXPECT_EQ(flash.ByteAt(3 * 264 + 263), 0x22);
    EXPECT_EQ(flash.ByteAt(3 * 264 + 0), 0x33);
    // The continuous read runs across the spare bytes into the next page.
    EXPECT_EQ(Send(*chip, {0xE8, 0x00, 0x07, 0x06, 0, 0, 0, 0}, 3), (Bytes{0x11, 0x22, 0xFF}));
    Send(*chip, {0x50, 0x00, 0x00, 0x00});  // block 0: pages 0-7
    EXPECT_EQ(flash.ByteAt(3 * 264 + 262), 0xFF);

    Send(*chip, {0x3D, 0x2A, 0x80, 0xA6});  // power-of-two pages
    EXPECT_TRUE(flash.BinaryPages());
    EXPECT_EQ(Send(*chip, {0xD7}, 1), Bytes{0x9D});
    EXPECT_EQ(flash.AddressableSize(), 2048u * 256);

    // An E part of the same three ID bytes as AT45DB642D: one extended byte, two status bytes.
    auto e = Powered("AT45DB641E");
    EXPECT_EQ(Send(*e, {0x9F}, 5), (Bytes{0x1F, 0x28, 0x00, 0x01, 0x00}));
    EXPECT_EQ(Send(*Powered("AT45DB642D"), {0x9F}, 4), (Bytes{0x1F, 0x28, 0x00, 0x00}));
    EXPECT_EQ(Send(*e, {0xD7}, 4), (Bytes{0xBC, 0x80, 0xBC, 0x80}));

    auto old = Powered("AT45DB041B");
    Send(*old, {0x3D, 0x2A, 0x80, 0xA6});  // the B parts have no such option
    EXPECT_FALSE(dynamic_cast<DataFlashChip&>(*old).BinaryPages());
    EXPECT_EQ(Send(*old, {0x9F}, 2), (Bytes{0xFF, 0xFF}));
}

TEST(Eeprom, WritesReplaceBytesAndEraseDoesNothing) {
    auto chip = Powered("AT25080A", 1800);
    Send(*chip, {0x06});
    Send(*chip, {0x02, 0x00, 0x00, 0x1F, 0x00, 0x12});  // wraps in its 32-byte page
    EXPECT_EQ(ReadArray(*chip, 0x1F, 1), Bytes{0x00});
    EXPECT_EQ(ReadArray(*chip, 0x00, 1), Bytes{0x12});
    Send(*chip, {0x06});
    Send(*chip, {0x02, 0x00, 0x00, 0x1F, 0xFF});  // an EEPROM write can set bits
    EXPECT_EQ(ReadArray(*chip, 0x1F, 1), Bytes{0xFF});
    Send(*chip, {0x06});
    Send(*chip, {0xC7});
    EXPECT_EQ(ReadArray(*chip, 0x00, 1), Bytes{0x12});
    EXPECT_EQ(Send(*chip, {0x9F}, 2), (Bytes{0xFF, 0xFF}));
}

TEST(ChipMemory, SparseStaysSmall) {
    SparseMemory sparse(16 * 1024 * 1024);
    sparse.Program(0xABCDEF, Bytes{0x00});
    sparse.Write(0x100000, Bytes(4096, 0xFF));  // erased data takes no page
    EXPECT_EQ(sparse.PagesHeld(), 1u);
    EXPECT_EQ(sparse.ReadRange(0xABCDEE, 3), (Bytes{0xFF, 0x00, 0xFF}));
    sparse.Erase(0xAB0000, 0x10000);
    EXPECT_EQ(sparse.PagesHeld(), 0u);
    EXPECT_EQ(sparse.ReadRange(sparse.Size() - 1, 2),
              (Bytes{0xFF, 0xFF}));  // beyond the end reads FF
}

TEST(ChipMemory, AContentFileMustFitTheChipAndItsFailuresAreReported) {
    test::TempDir dir;
    const auto path = dir / "chip.bin";
    std::string problem;
    {
        auto file = FileMemory::Open(path, 64 * 1024, problem);  // missing: created erased
        ASSERT_TRUE(file) << problem;
        EXPECT_EQ(std::filesystem::file_size(path), 64u * 1024);
        EXPECT_EQ(file->ReadByte(0x1234), 0xFF);
        file->Program(0x1234, Bytes{0x5A});
        EXPECT_FALSE(file->TakeFailure());
    }
    auto again = FileMemory::Open(path, 64 * 1024, problem);
    ASSERT_TRUE(again) << problem;
    EXPECT_EQ(again->ReadByte(0x1234), 0x5A);
    again.reset();

    // An operator's file of another size is refused and left exactly as it was.
    for (const std::uint64_t chipSize : {32u * 1024, 128u * 1024}) {
        problem.clear();
        EXPECT_FALSE(FileMemory::Open(path, chipSize, problem));
        EXPECT_NE(problem.find("holds 65536 bytes"), std::string::npos) << problem;
        EXPECT_EQ(std::filesystem::file_size(path), 64u * 1024);
    }
    auto kept = FileMemory::Open(path, 64 * 1024, problem);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->ReadByte(0x1234), 0x5A);

    for (const auto& unusable : {dir / "no" / "such" / "folder.bin", dir.Path()}) {
        problem.clear();
        EXPECT_FALSE(FileMemory::Open(unusable, 16, problem)) << unusable;
        EXPECT_FALSE(problem.empty());
    }
    {
        // A new file that cannot be filled (the disk is full) is not left behind.
        const test::FileSizeLimit limit(4096);
        problem.clear();
        EXPECT_FALSE(FileMemory::Open(dir / "big.bin", 64 * 1024, problem));
        EXPECT_NE(problem.find("cannot fill"), std::string::npos) << problem;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "big.bin"));

    // A device that refuses every write: each failed write is reported, nothing is pretended.
    auto full = FileMemory::Open("/dev/full", 64 * 1024, problem);
    ASSERT_TRUE(full) << problem;
    full->Erase(0, 4096);
    EXPECT_TRUE(full->TakeFailure());
    EXPECT_FALSE(full->TakeFailure());  // reported once
    full->Program(0x10, Bytes{0x00});
    EXPECT_TRUE(full->TakeFailure());
}

TEST(ChipCatalog, EveryPartHasAnIdentityAndAConsistentSize) {
    for (const ChipSpec& spec : ChipCatalog()) {
        EXPECT_GT(spec.size, 0u) << spec.name;
        EXPECT_LT(spec.minMillivolts, spec.maxMillivolts) << spec.name;
        if (spec.kind == ChipKind::DataFlash) {
            EXPECT_EQ(spec.size, std::uint64_t{spec.pages} * spec.standardPageSize) << spec.name;
        }
        // Erase units tile the array, and every flash part can be erased somehow.
        for (const EraseCommand& erase : spec.eraseCommands) {
            EXPECT_GT(erase.size, 0u) << spec.name;
            EXPECT_EQ(spec.size % erase.size, 0u) << spec.name << " " << int{erase.opcode};
            EXPECT_GT(erase.typicalMicros, 0u) << spec.name;
        }
        EXPECT_EQ(spec.kind == ChipKind::Eeprom,
                  spec.eraseCommands.empty() && spec.chipEraseOpcodes.empty())
            << spec.name;
        if (spec.kind == ChipKind::SerialFlash) {
            EXPECT_EQ(spec.chipEraseOpcodes.empty(), spec.chipEraseMicros == 0) << spec.name;
        }
        EXPECT_EQ(FindChip(spec.name), &spec);
    }
    EXPECT_EQ(FindChip("w25q64fv"), nullptr);  // exact names; the option parser ignores case
}

}  // namespace
}  // namespace torq::sim
