#include "torq/sim/ChipCatalog.h"

namespace torq::sim {

namespace {

constexpr std::uint64_t KiB = 1024, MiB = 1024 * 1024;
constexpr std::uint32_t kMs = 1000;  // microseconds

struct Volts {
    std::uint32_t min, max;
};
constexpr Volts k33{2700, 3600};
constexpr Volts k18{1650, 1950};

// How a family erases and how long it is busy (typical datasheet times, microseconds): the
// address-taking erase commands, the chip erase opcodes and the chip erase time per MiB.
struct Erasing {
    std::vector<EraseCommand> commands;
    std::vector<std::uint8_t> chipOpcodes;
    std::uint64_t chipMicrosPerMiB = 0;
    std::uint32_t pageProgramMicros = 700;
};

ChipSpec WithErasing(ChipSpec spec, const Erasing& erasing) {
    spec.eraseCommands = erasing.commands;
    spec.chipEraseOpcodes = erasing.chipOpcodes;
    spec.chipEraseMicros = erasing.chipMicrosPerMiB * spec.size / MiB;
    spec.pageProgramMicros = erasing.pageProgramMicros;
    return spec;
}

// 4 KiB sectors (0x20), 32 KiB (0x52) and 64 KiB (0xD8) blocks, chip erase 0x60 or 0xC7.
Erasing FourThirtyTwoSixtyFour(std::uint32_t sectorMs, std::uint32_t block32Ms,
                               std::uint32_t block64Ms, std::uint64_t chipMsPerMiB,
                               std::uint32_t pageProgramMicros) {
    return {{{0x20, 4 * KiB, sectorMs * kMs},
             {0x52, 32 * KiB, block32Ms * kMs},
             {0xD8, 64 * KiB, block64Ms * kMs}},
            {0x60, 0xC7},
            chipMsPerMiB * kMs,
            pageProgramMicros};
}

// A 25-series part with a JEDEC ID, an electronic signature and, when `rems` is set, the
// manufacturer/device read 0x90 (manufacturer byte, signature).
ChipSpec Flash(std::string name, std::uint64_t size, std::vector<std::uint8_t> jedec,
               std::optional<std::uint8_t> signature, bool rems, const Erasing& erasing,
               Volts volts = k33) {
    ChipSpec spec;
    spec.name = std::move(name);
    spec.size = size;
    spec.minMillivolts = volts.min;
    spec.maxMillivolts = volts.max;
    spec.electronicSignature = signature;
    if (rems && signature && !jedec.empty()) {
        spec.manufacturerDevice = std::array<std::uint8_t, 2>{jedec[0], *signature};
    }
    spec.jedecId = std::move(jedec);
    return WithErasing(std::move(spec), erasing);
}

ChipSpec WithSecondRegister(ChipSpec spec, std::uint8_t opcode) {
    spec.secondRegisterOpcode = opcode;
    return spec;
}

ChipSpec WithBlockProtect(ChipSpec spec, std::uint8_t bits, std::uint32_t unit) {
    spec.blockProtectBits = bits;
    spec.protectUnit = unit;
    return spec;
}

// SST parts: 0xAB answers like 0x90; every block protected at power-up; one byte or word per
// auto-increment command.
ChipSpec Sst(std::string name, std::uint64_t size, std::uint8_t device, bool hasJedec,
             AutoIncrement autoIncrement, std::uint8_t protectBits, const Erasing& erasing) {
    ChipSpec spec;
    spec.name = std::move(name);
    spec.size = size;
    if (hasJedec)
        spec.jedecId = {0xBF, 0x25, device};
    spec.manufacturerDevice = std::array<std::uint8_t, 2>{0xBF, device};
    spec.signatureIsManufacturerDevice = true;
    spec.autoIncrement = autoIncrement;
    spec.blockProtectBits = protectBits;
    spec.powerUpStatus = static_cast<std::uint8_t>(((1u << protectBits) - 1) << 2);
    spec = WithErasing(std::move(spec), erasing);
    spec.chipEraseMicros = 70 * kMs;                    // SST erases do not grow with the size
    spec.autoIncrementMicros = spec.pageProgramMicros;  // a byte or word each
    return spec;
}

// AT25F: product ID at 0x15, sector erase 0x52, chip erase 0x62.
ChipSpec At25f(std::string name, std::uint64_t size, std::uint8_t device, std::uint32_t sector,
               std::uint32_t page) {
    ChipSpec spec;
    spec.name = std::move(name);
    spec.size = size;
    spec.pageSize = page;
    spec.productId15 = {0x1F, device};
    spec.blockProtectBits = 2;
    spec.protectUnit = static_cast<std::uint32_t>(size / 4);
    spec.eraseCommands = {{0x52, sector, 1100 * kMs}};
    spec.chipEraseOpcodes = {0x62};
    spec.chipEraseMicros = 1100 * kMs * (size / sector);
    spec.pageProgramMicros = 2500;
    return spec;
}

ChipSpec SectorProtected(std::string name, std::uint64_t size, std::vector<std::uint8_t> jedec,
                         std::vector<std::uint32_t> starts, const Erasing& erasing,
                         Volts volts = k33) {
    ChipSpec spec =
        Flash(std::move(name), size, std::move(jedec), std::nullopt, false, erasing, volts);
    spec.sectorStarts = std::move(starts);
    return spec;
}

std::vector<std::uint32_t> Uniform(std::uint32_t count, std::uint32_t step) {
    std::vector<std::uint32_t> starts;
    for (std::uint32_t i = 0; i < count; ++i)
        starts.push_back(i * step);
    return starts;
}

// 64 KiB sectors with the top 64 KiB split into 32, 8, 8 and 16 KiB.
std::vector<std::uint32_t> TopSplit(std::uint32_t fullSectors) {
    std::vector<std::uint32_t> starts = Uniform(fullSectors, 0x10000);
    const std::uint32_t top = fullSectors * 0x10000;
    for (std::uint32_t offset : {0x0000u, 0x8000u, 0xA000u, 0xC000u})
        starts.push_back(top + offset);
    return starts;
}

// DataFlash: page erase 0x81, block erase 0x50 (eight pages), buffer to page 0x88; chip erase is
// the four-byte C7 94 80 9A, handled by the model itself.
ChipSpec DataFlash(std::string name, std::uint32_t pages, std::uint32_t standardPage,
                   std::uint32_t binaryPage, std::uint8_t statusReady,
                   std::vector<std::uint8_t> jedec, Volts volts = k33) {
    ChipSpec spec;
    spec.name = std::move(name);
    spec.kind = ChipKind::DataFlash;
    spec.minMillivolts = volts.min;
    spec.maxMillivolts = volts.max;
    spec.pages = pages;
    spec.standardPageSize = standardPage;
    spec.binaryPageSize = binaryPage;
    spec.statusReady = statusReady;
    spec.size = std::uint64_t{pages} * standardPage;
    spec.pageSize = standardPage;
    spec.jedecId = std::move(jedec);
    spec.eraseCommands = {{0x81, standardPage, 13 * kMs}, {0x50, 8 * standardPage, 30 * kMs}};
    spec.pageProgramMicros = 2 * kMs;
    spec.chipEraseMicros = std::uint64_t{pages} / 8 * 30 * kMs / 2;  // about half the block erases
    return spec;
}

ChipSpec Eeprom(std::string name, std::uint64_t size) {
    ChipSpec spec;
    spec.name = std::move(name);
    spec.kind = ChipKind::Eeprom;
    spec.size = size;
    spec.pageSize = 32;
    spec.minMillivolts = 1800;
    spec.maxMillivolts = 5500;
    spec.blockProtectBits = 2;
    spec.protectUnit = static_cast<std::uint32_t>(size / 4);
    spec.pageProgramMicros = 5 * kMs;  // the write cycle
    spec.statusWriteMicros = 5 * kMs;
    return spec;  // no erase command at all
}

std::vector<ChipSpec> BuildCatalog() {
    // The erase commands and typical times of each family, from the datasheets.
    const Erasing winbondX{
        {{0x20, 4 * KiB, 120 * kMs}, {0xD8, 64 * KiB, 1000 * kMs}}, {0xC7}, 8000 * kMs, 1500};
    const Erasing winbondQ = FourThirtyTwoSixtyFour(45, 120, 150, 2500, 700);
    // The older Macronix parts erase 64 KiB with 0x52 as with 0xD8.
    const auto macronixOld = [](std::uint32_t sectorMs, std::uint32_t blockMs,
                                std::uint64_t chipMsPerMiB) {
        return Erasing{{{0x20, 4 * KiB, sectorMs * kMs},
                        {0x52, 64 * KiB, blockMs * kMs},
                        {0xD8, 64 * KiB, blockMs * kMs}},
                       {0x60, 0xC7},
                       chipMsPerMiB * kMs,
                       1400};
    };
    const Erasing macronix = macronixOld(60, 700, 7500);
    const Erasing macronixD = macronixOld(90, 700, 6000);
    const Erasing macronixU = FourThirtyTwoSixtyFour(30, 150, 280, 5000, 500);
    const Erasing giga = FourThirtyTwoSixtyFour(50, 150, 250, 4000, 700);
    const Erasing sstA{{{0x20, 4 * KiB, 18 * kMs}, {0x52, 32 * KiB, 18 * kMs}}, {0x60}, 0, 20};
    const Erasing sstB{
        {{0x20, 4 * KiB, 18 * kMs}, {0x52, 32 * KiB, 18 * kMs}, {0xD8, 64 * KiB, 18 * kMs}},
        {0x60, 0xC7},
        0,
        10};
    const Erasing sstC{sstB.commands, {0x60, 0xC7}, 0, 1500};
    const Erasing atmelDf = FourThirtyTwoSixtyFour(50, 250, 400, 7000, 1000);
    // AT26DF041: page (0x81), 2 KiB (0x50) and 4 KiB (0x20) erase, no chip erase.
    const Erasing at26df041{
        {{0x81, 256, 15 * kMs}, {0x50, 2 * KiB, 40 * kMs}, {0x20, 4 * KiB, 50 * kMs}}, {}, 0, 1500};
    const auto m25p = [](std::uint32_t sector, std::uint32_t sectorMs, std::uint64_t chipMsPerMiB) {
        return Erasing{{{0xD8, sector, sectorMs * kMs}}, {0xC7}, chipMsPerMiB * kMs, 1400};
    };
    const Erasing n25q{
        {{0x20, 4 * KiB, 250 * kMs}, {0xD8, 64 * KiB, 700 * kMs}}, {0x60, 0xC7}, 10000 * kMs, 500};
    const Erasing spansionA{{{0xD8, 64 * KiB, 500 * kMs}}, {0xC7}, 8000 * kMs, 1400};
    const Erasing spansionP{{{0xD8, 64 * KiB, 500 * kMs}}, {0x60, 0xC7}, 8000 * kMs, 1500};
    const Erasing spansionK = FourThirtyTwoSixtyFour(50, 150, 200, 3500, 700);
    const Erasing eonF{
        {{0x20, 4 * KiB, 90 * kMs}, {0xD8, 64 * KiB, 800 * kMs}}, {0x60, 0xC7}, 10000 * kMs, 1500};
    const Erasing eonQ = FourThirtyTwoSixtyFour(60, 200, 400, 4000, 800);
    // ISSI parts also take 0xD7 for the 4 KiB sector erase.
    Erasing issi = FourThirtyTwoSixtyFour(45, 100, 150, 2800, 200);
    issi.commands.push_back({0xD7, 4 * KiB, 45 * kMs});

    std::vector<ChipSpec> c;
    const auto add = [&](ChipSpec spec) { c.push_back(std::move(spec)); };
    const auto winbondQPart = [&](std::string name, std::uint64_t size, std::uint8_t type,
                                  std::uint8_t capacity, Volts volts) {
        add(WithBlockProtect(WithSecondRegister(Flash(std::move(name), size, {0xEF, type, capacity},
                                                      static_cast<std::uint8_t>(capacity - 1), true,
                                                      winbondQ, volts),
                                                0x35),
                             3, static_cast<std::uint32_t>(size / 64)));
    };

    // Winbond
    add(Flash("W25X10", 128 * KiB, {0xEF, 0x30, 0x11}, 0x10, true, winbondX));
    add(Flash("W25X20", 256 * KiB, {0xEF, 0x30, 0x12}, 0x11, true, winbondX));
    add(Flash("W25X40", 512 * KiB, {0xEF, 0x30, 0x13}, 0x12, true, winbondX));
    add(Flash("W25X80", 1 * MiB, {0xEF, 0x30, 0x14}, 0x13, true, winbondX));
    winbondQPart("W25Q80BV", 1 * MiB, 0x40, 0x14, k33);
    winbondQPart("W25Q16DV", 2 * MiB, 0x40, 0x15, k33);
    winbondQPart("W25Q32FV", 4 * MiB, 0x40, 0x16, k33);
    winbondQPart("W25Q64FV", 8 * MiB, 0x40, 0x17, k33);
    winbondQPart("W25Q128FV", 16 * MiB, 0x40, 0x18, k33);
    winbondQPart("W25Q16DW", 2 * MiB, 0x60, 0x15, k18);
    winbondQPart("W25Q64FW", 8 * MiB, 0x60, 0x17, k18);
    winbondQPart("W25Q128FW", 16 * MiB, 0x60, 0x18, k18);

    // Macronix
    add(WithBlockProtect(Flash("MX25L512", 64 * KiB, {0xC2, 0x20, 0x10}, 0x05, true, macronix), 2,
                         16 * KiB));
    add(WithBlockProtect(Flash("MX25L1005", 128 * KiB, {0xC2, 0x20, 0x11}, 0x10, true, macronix), 2,
                         32 * KiB));
    add(Flash("MX25L2005", 256 * KiB, {0xC2, 0x20, 0x12}, 0x11, true, macronix));
    add(Flash("MX25L4005", 512 * KiB, {0xC2, 0x20, 0x13}, 0x12, true, macronix));
    add(Flash("MX25L8005", 1 * MiB, {0xC2, 0x20, 0x14}, 0x13, true, macronix));
    add(WithBlockProtect(Flash("MX25L1605D", 2 * MiB, {0xC2, 0x20, 0x15}, 0x14, true, macronixD), 4,
                         64 * KiB));
    add(WithBlockProtect(Flash("MX25L3205D", 4 * MiB, {0xC2, 0x20, 0x16}, 0x15, true, macronixD), 4,
                         64 * KiB));
    add(WithBlockProtect(Flash("MX25L6405D", 8 * MiB, {0xC2, 0x20, 0x17}, 0x16, true, macronixD), 4,
                         128 * KiB));
    add(WithBlockProtect(Flash("MX25L12805D", 16 * MiB, {0xC2, 0x20, 0x18}, 0x17, true, macronixD),
                         4, 256 * KiB));
    add(WithBlockProtect(WithSecondRegister(Flash("MX25U1635F", 2 * MiB, {0xC2, 0x25, 0x35}, 0x35,
                                                  true, macronixU, {1650, 2000}),
                                            0x15),
                         4, 64 * KiB));
    add(WithBlockProtect(WithSecondRegister(Flash("MX25U6435F", 8 * MiB, {0xC2, 0x25, 0x37}, 0x37,
                                                  true, macronixU, {1650, 2000}),
                                            0x15),
                         4, 128 * KiB));

    // GigaDevice
    for (const auto& [name, capacity, size] :
         {std::tuple{"GD25Q40", 0x13, 512 * KiB}, std::tuple{"GD25Q80", 0x14, 1 * MiB},
          std::tuple{"GD25Q16", 0x15, 2 * MiB}, std::tuple{"GD25Q32", 0x16, 4 * MiB},
          std::tuple{"GD25Q64", 0x17, 8 * MiB}, std::tuple{"GD25Q128", 0x18, 16 * MiB}}) {
        add(WithSecondRegister(Flash(name, size, {0xC8, 0x40, static_cast<std::uint8_t>(capacity)},
                                     static_cast<std::uint8_t>(capacity - 1), true, giga),
                               0x35));
    }
    add(WithSecondRegister(
        Flash("GD25LQ32", 4 * MiB, {0xC8, 0x60, 0x16}, 0x15, true, giga, {1650, 2100}), 0x35));
    add(WithSecondRegister(
        Flash("GD25LQ64", 8 * MiB, {0xC8, 0x60, 0x17}, 0x16, true, giga, {1650, 2100}), 0x35));

    // SST: the A parts have no JEDEC ID, program a byte per AAI command and erase the chip only
    // with 0x60; the B parts program a word per command.
    add(Sst("SST25VF512A", 64 * KiB, 0x48, false, AutoIncrement::Byte, 2, sstA));
    add(Sst("SST25VF010A", 128 * KiB, 0x49, false, AutoIncrement::Byte, 2, sstA));
    add(Sst("SST25VF020B", 256 * KiB, 0x8C, true, AutoIncrement::Word, 4, sstB));
    add(Sst("SST25VF040B", 512 * KiB, 0x8D, true, AutoIncrement::Word, 4, sstB));
    add(Sst("SST25VF080B", 1 * MiB, 0x8E, true, AutoIncrement::Word, 4, sstB));
    add(Sst("SST25VF016B", 2 * MiB, 0x41, true, AutoIncrement::Word, 4, sstB));
    add(Sst("SST25VF032B", 4 * MiB, 0x4A, true, AutoIncrement::Word, 4, sstB));
    add(Sst("SST25VF064C", 8 * MiB, 0x4B, true, AutoIncrement::None, 4, sstC));

    // Atmel / Adesto
    add(Eeprom("AT25080A", 1 * KiB));
    add(Eeprom("AT25160A", 2 * KiB));
    add(At25f("AT25F512A", 64 * KiB, 0x65, 32 * KiB, 128));
    add(At25f("AT25F1024A", 128 * KiB, 0x60, 32 * KiB, 256));
    add(At25f("AT25F2048", 256 * KiB, 0x63, 64 * KiB, 256));
    add(At25f("AT25F4096", 512 * KiB, 0x64, 64 * KiB, 256));
    add(SectorProtected("AT25DF041A", 512 * KiB, {0x1F, 0x44, 0x01, 0x00}, TopSplit(7), atmelDf,
                        {2300, 3600}));
    add(SectorProtected("AT26DF041", 512 * KiB, {0x1F, 0x44, 0x00, 0x00},
                        {0x00000, 0x20000, 0x40000, 0x50000, 0x60000, 0x70000}, at26df041));
    add(SectorProtected("AT26DF081A", 1 * MiB, {0x1F, 0x45, 0x01, 0x00}, TopSplit(15), atmelDf));
    add(SectorProtected("AT26DF161", 2 * MiB, {0x1F, 0x46, 0x00, 0x00}, Uniform(16, 0x20000),
                        atmelDf));
    add(SectorProtected("AT26DF321", 4 * MiB, {0x1F, 0x47, 0x00, 0x00}, Uniform(64, 0x10000),
                        atmelDf));
    // DataFlash. The D parts end their 0x9F answer with an extended information length of 0;
    // the E parts give length 1 and that byte (0), and a second status byte.
    add(DataFlash("AT45DB011D", 512, 264, 256, 0x8C, {0x1F, 0x22, 0x00, 0x00}));
    add(DataFlash("AT45DB021D", 1024, 264, 256, 0x94, {0x1F, 0x23, 0x00, 0x00}));
    add(DataFlash("AT45DB041B", 2048, 264, 0, 0x9C, {}));
    add(DataFlash("AT45DB041D", 2048, 264, 256, 0x9C, {0x1F, 0x24, 0x00, 0x00}));
    add(DataFlash("AT45DB081D", 4096, 264, 256, 0xA4, {0x1F, 0x25, 0x00, 0x00}));
    add(DataFlash("AT45DB161B", 4096, 528, 0, 0xAC, {}));
    add(DataFlash("AT45DB161D", 4096, 528, 512, 0xAC, {0x1F, 0x26, 0x00, 0x00}));
    add(DataFlash("AT45DB321D", 8192, 528, 512, 0xB4, {0x1F, 0x27, 0x01, 0x00}));
    add(DataFlash("AT45DB642D", 8192, 1056, 1024, 0xBC, {0x1F, 0x28, 0x00, 0x00}));
    {
        ChipSpec e = DataFlash("AT45DB641E", 32768, 264, 256, 0xBC, {0x1F, 0x28, 0x00, 0x01, 0x00},
                               {1700, 3600});
        e.secondStatusReady = 0x80;
        add(std::move(e));
    }

    // Micron / Numonyx / ST: the M25P parts have no 0x90 and erase the chip only with 0xC7;
    // the smallest have only 0xAB and 32 KiB sectors.
    add(Flash("M25P05-A", 64 * KiB, {}, 0x05, false, m25p(32 * KiB, 600, 16000)));
    add(Flash("M25P10-A", 128 * KiB, {}, 0x10, false, m25p(32 * KiB, 600, 16000)));
    for (const auto& [name, capacity, size] :
         {std::tuple{"M25P20", 0x12, 256 * KiB}, std::tuple{"M25P40", 0x13, 512 * KiB},
          std::tuple{"M25P80", 0x14, 1 * MiB}, std::tuple{"M25P16", 0x15, 2 * MiB},
          std::tuple{"M25P32", 0x16, 4 * MiB}, std::tuple{"M25P64", 0x17, 8 * MiB}}) {
        add(Flash(name, size, {0x20, 0x20, static_cast<std::uint8_t>(capacity)},
                  static_cast<std::uint8_t>(capacity - 1), false, m25p(64 * KiB, 600, 8500)));
    }
    add(Flash("M25P128", 16 * MiB, {0x20, 0x20, 0x18}, 0x17, false, m25p(256 * KiB, 2000, 6600)));
    add(Flash("N25Q064A13", 8 * MiB, {0x20, 0xBA, 0x17}, std::nullopt, false, n25q));
    add(Flash("N25Q128A11", 16 * MiB, {0x20, 0xBB, 0x18}, std::nullopt, false, n25q, {1700, 2000}));

    // Spansion / Cypress: the A parts erase only 64 KiB sectors and the chip with 0xC7.
    add(Flash("S25FL004A", 512 * KiB, {0x01, 0x02, 0x12}, 0x12, true, spansionA));
    add(Flash("S25FL008A", 1 * MiB, {0x01, 0x02, 0x13}, 0x13, true, spansionA));
    add(Flash("S25FL016A", 2 * MiB, {0x01, 0x02, 0x14}, 0x14, true, spansionA));
    add(WithSecondRegister(Flash("S25FL032P", 4 * MiB, {0x01, 0x02, 0x15}, 0x15, true, spansionP),
                           0x35));
    add(WithSecondRegister(Flash("S25FL064P", 8 * MiB, {0x01, 0x02, 0x16}, 0x16, true, spansionP),
                           0x35));
    add(Flash("S25FL128P", 16 * MiB, {0x01, 0x20, 0x18}, 0x17, true, spansionP));
    add(WithSecondRegister(Flash("S25FL116K", 2 * MiB, {0x01, 0x40, 0x15}, 0x14, true, spansionK),
                           0x35));

    // EON
    add(Flash("EN25F40", 512 * KiB, {0x1C, 0x31, 0x13}, 0x12, true, eonF));
    add(Flash("EN25F80", 1 * MiB, {0x1C, 0x31, 0x14}, 0x13, true, eonF));
    add(Flash("EN25F16", 2 * MiB, {0x1C, 0x31, 0x15}, 0x14, true, eonF));
    add(Flash("EN25Q32B", 4 * MiB, {0x1C, 0x30, 0x16}, 0x15, true, eonQ));
    add(Flash("EN25Q64", 8 * MiB, {0x1C, 0x30, 0x17}, 0x16, true, eonQ));
    add(Flash("EN25Q128", 16 * MiB, {0x1C, 0x30, 0x18}, 0x17, true, eonQ));

    // ISSI
    add(Flash("IS25LQ040B", 512 * KiB, {0x9D, 0x40, 0x13}, 0x12, true, issi, {2300, 3600}));
    for (const auto& [name, capacity, size] :
         {std::tuple{"IS25LP080D", 0x14, 1 * MiB}, std::tuple{"IS25LP016D", 0x15, 2 * MiB},
          std::tuple{"IS25LP032D", 0x16, 4 * MiB}, std::tuple{"IS25LP064A", 0x17, 8 * MiB},
          std::tuple{"IS25LP128F", 0x18, 16 * MiB}}) {
        add(Flash(name, size, {0x9D, 0x60, static_cast<std::uint8_t>(capacity)},
                  static_cast<std::uint8_t>(capacity - 1), true, issi, {2300, 3600}));
    }
    add(Flash("IS25WP032D", 4 * MiB, {0x9D, 0x70, 0x16}, 0x15, true, issi, k18));
    add(Flash("IS25WP064A", 8 * MiB, {0x9D, 0x70, 0x17}, 0x16, true, issi, k18));
    return c;
}

}  // namespace

const std::vector<ChipSpec>& ChipCatalog() {
    static const std::vector<ChipSpec> catalog = BuildCatalog();
    return catalog;
}

const ChipSpec* FindChip(std::string_view name) {
    for (const auto& spec : ChipCatalog()) {
        if (spec.name == name)
            return &spec;
    }
    return nullptr;
}

}  // namespace torq::sim
