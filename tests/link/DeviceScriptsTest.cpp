// The operations' scripts and blocks, byte for byte.
#include <gtest/gtest.h>

#include <vector>

#include "torq/link/DeviceOperations.h"

namespace torq {
namespace {

std::vector<std::uint8_t> Bytes(const Script& script) {
    return {script.Data().begin(), script.Data().end()};
}

std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> head, std::size_t length) {
    head.resize(length, 0x00);
    return head;
}

TEST(DeviceScripts, EraseAndHeaderScripts) {
    EXPECT_EQ(Bytes(EraseScript25(0xC7)), Padded({0x06, 0x00, 0xC7, 0x00, 0x05}, 64));
    EXPECT_EQ(Bytes(DataFlashPageSizeScript()), Padded({0x3D, 0x2A, 0x80, 0xA6}, 64));
    EXPECT_EQ(Bytes(DataFlashBlockEraseScript(0x012345)),
              Padded({0x50, 0x01, 0x23, 0x45, 0xD7}, 64));
    EXPECT_EQ(Bytes(ReadHeaderScript(0xE8)), Padded({0xE8, 0x00, 0x00, 0x00}, 64));
    const std::uint8_t opcodes[] = {0, 0xC7, 0x60, 0x62, 0xD8, 0x52, 0x20, 0};
    for (int selector = 0; selector <= 7; ++selector) {
        EXPECT_EQ(EraseOpcode(static_cast<std::uint8_t>(selector)), opcodes[selector]) << selector;
    }
}

TEST(DeviceScripts, PageProgramBlockCarriesAShortLastPage) {
    std::vector<std::uint8_t> page(44, 0xA5);
    const auto block = Bytes(PageProgramBlock(0x000100, page));
    ASSERT_EQ(block.size(), 320u);
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.begin() + 6),
              (std::vector<std::uint8_t>{0x06, 0x00, 0x02, 0x00, 0x01, 0x00}));
    EXPECT_EQ(block[6], 0xA5);
    EXPECT_EQ(block[49], 0xA5);
    EXPECT_EQ(block[50], 0x05);
    EXPECT_EQ(block[51], 0x00);
}

TEST(DeviceScripts, SequentialBlocksForBothModes) {
    std::array<std::uint8_t, 256> d{};
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<std::uint8_t>(i);
    const auto word = Bytes(SequentialProgramBlock(2, 0x100, d));
    ASSERT_EQ(word.size(), 576u);
    EXPECT_EQ(
        std::vector<std::uint8_t>(word.begin(), word.begin() + 12),
        (std::vector<std::uint8_t>{0x06, 0x00, 0xAD, 0x00, 0x01, 0x00, 0, 1, 0xAD, 0x00, 2, 3}));
    EXPECT_EQ(word[512], 0xAD);
    EXPECT_EQ(word[514], 254);
    EXPECT_EQ(word[515], 255);
    EXPECT_EQ(word[516], 0x04);
    EXPECT_EQ(word[517], 0x00);

    const auto byte = Bytes(SequentialProgramBlock(3, 0, d));
    EXPECT_EQ(std::vector<std::uint8_t>(byte.begin(), byte.begin() + 12),
              (std::vector<std::uint8_t>{0x06, 0x00, 0xAF, 0, 0, 0, 0, 0x00, 0xAF, 1, 0xAF, 2}));
    EXPECT_EQ(byte[516], 0xAF);
    EXPECT_EQ(byte[517], 255);
    EXPECT_EQ(byte[518], 0x04);
}

TEST(DeviceScripts, DataFlashPageBlockPlacesTheProgramCommandAfterTheWholePage) {
    DeviceRecord r;
    r.pageSize = 256;
    r.pageSpareSize = 8;
    std::vector<std::uint8_t> page(264, 0x11);
    const auto block = Bytes(DataFlashPageBlock(r, 3, page));
    ASSERT_EQ(block.size(), 320u);
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.begin() + 5),
              (std::vector<std::uint8_t>{0x84, 0, 0, 0, 0x11}));
    EXPECT_EQ(block[267], 0x11);
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin() + 268, block.begin() + 274),
              (std::vector<std::uint8_t>{0x88, 0x00, 0x06, 0x00, 0xD7, 0x00}));

    r.pageSpareSize = 0;  // page mode 2: page addresses in units of the page size
    const auto power = Bytes(DataFlashPageBlock(r, 3, std::vector<std::uint8_t>(10, 0x22)));
    EXPECT_EQ(power[13], 0x22);
    EXPECT_EQ(power[14], 0x00);  // a short page leaves the rest zero
    EXPECT_EQ(std::vector<std::uint8_t>(power.begin() + 260, power.begin() + 265),
              (std::vector<std::uint8_t>{0x88, 0x00, 0x03, 0x00, 0xD7}));
}

TEST(DeviceScripts, StatusRegisterScripts) {
    DeviceRecord r;
    EXPECT_EQ(Bytes(StatusRegisterScript(r, 0x9C, {})),
              Padded({0x06, 0x00, 0x50, 0x00, 0x01, 0x9C, 0x05, 0x00, 0x9C}, 64));
    r.readStatusRegister = 2;
    r.readStatusRegisterOpcodes[0] = 0x05;
    r.readStatusRegisterOpcodes[1] = 0x35;
    const std::uint8_t values[] = {0x1C, 0x02};
    EXPECT_EQ(
        Bytes(StatusRegisterScript(r, 0x00, values)),
        Padded({0x06, 0x00, 0x50, 0x00, 0x01, 0x1C, 0x02, 0x05, 0x00, 0x1C, 0x35, 0x00, 0x02}, 64));
}

TEST(DeviceScripts, VerifyErrorLinesArePaddedToTheLimitsDigits) {
    EXPECT_EQ(VerifyErrorLine(7, 100, 0x1A2B, 0x55, 0xFF),
              "No.007 : 0x00001A2B : Buffer=0x55, IC=0xFF");
    EXPECT_EQ(VerifyErrorLine(2, 3, 0x10, 0x00, 0xAB), "No.2 : 0x00000010 : Buffer=0x00, IC=0xAB");
    EXPECT_EQ((VerifyListing{false, 100}.EffectiveLimit()), 1);
    EXPECT_EQ((VerifyListing{true, 250}.EffectiveLimit()), 250);
}

// The protection line reads the status register the way the part keeps it: block-protect bits 2-6
// and SRWD for most 25-series flash, a sector summary, the WP# pin and SPRL for AT25DF/AT26DF.
TEST(DeviceScripts, TheProtectionLineNamesTheBitsAndTheLikelyCause) {
    DeviceRecord flash;
    flash.name = "W25X10";
    DeviceRecord sectors;
    sectors.name = "AT26DF081A";
    struct Case {
        const DeviceRecord* record;
        std::uint8_t status;
        std::uint8_t unprotectWrites;
        const char* line;
    };
    const Case cases[] = {
        {&flash, 0x80, 0,
         "Protection : Status Register=0x80 : no block-protect bits set, SRWD (bit 7) set"},
        {&flash, 0x0C, 0,
         "Protection : Status Register=0x0C : block-protect bits=0x03 set : Unprotect did not "
         "clear them"},
        {&flash, 0x9C, 0x9C,
         "Protection : Status Register=0x9C : block-protect bits=0x07, SRWD (bit 7) set : "
         "Unprotect writes them from the Premium values; set those to 0"},
        {&sectors, 0x10, 0, "Protection : Status Register=0x10 : no sector protected"},
        {&sectors, 0x1C, 0,
         "Protection : Status Register=0x1C : sectors protected (SWP=3) : Unprotect did not clear "
         "them"},
        {&sectors, 0x8C, 0,
         "Protection : Status Register=0x8C : sectors protected (SWP=3), WP# pin held low, SPRL "
         "(bit 7) set : the sectors are locked while WP# is held low; Unprotect cannot clear them"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProtectionLine(*c.record, c.status, c.unprotectWrites), c.line);
    EXPECT_EQ(NotBlankLine(0x12345, 0x5A), "First not blank address : 0x00012345 : IC=0x5A");
}

}  // namespace
}  // namespace torq
