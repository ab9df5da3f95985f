#include "torq/sim/ChipCatalog.h"

namespace torq::sim {

namespace {

constexpr std::uint64_t KiB = 1024, MiB = 1024 * 1024;

struct Volts {
    std::uint32_t min, max;
};
constexpr Volts k33{2700, 3600};
constexpr Volts k18{1650, 1950};

// A 25-series part with a JEDEC ID, an electronic signature and, when `rems` is set, the
// manufacturer/device read 0x90 (manufacturer byte, signature).
ChipSpec Flash(std::string name, std::uint64_t size, std::vector<std::uint8_t> jedec,
               std::optional<std::uint8_t> signature, bool rems, Volts volts = k33) {
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
    return spec;
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

ChipSpec WithErase(ChipSpec spec, std::vector<std::pair<std::uint8_t, std::uint32_t>> opcodes) {
    spec.eraseOpcodes = std::move(opcodes);
    return spec;
}

// SST parts: 0xAB answers like 0x90; every block protected at power-up.
ChipSpec Sst(std::string name, std::uint64_t size, std::uint8_t device, bool hasJedec,
             AutoIncrement autoIncrement, std::uint8_t protectBits) {
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
    spec.eraseOpcodes = {{0x20, 4 * KiB}, {0x52, 32 * KiB}, {0xD8, 64 * KiB}};
    return spec;
}

// AT25F: product ID at 0x15, chip erase 0x62, sector erase 0x52.
ChipSpec At25f(std::string name, std::uint64_t size, std::uint8_t device, std::uint32_t sector,
               std::uint32_t page) {
    ChipSpec spec;
    spec.name = std::move(name);
    spec.size = size;
    spec.pageSize = page;
    spec.productId15 = {0x1F, device};
    spec.chipErase62 = true;
    spec.blockProtectBits = 2;
    spec.protectUnit = static_cast<std::uint32_t>(size / 4);
    spec.eraseOpcodes = {{0x52, sector}};
    return spec;
}

ChipSpec SectorProtected(std::string name, std::uint64_t size, std::vector<std::uint8_t> jedec,
                         std::vector<std::uint32_t> starts, Volts volts = k33) {
    ChipSpec spec = Flash(std::move(name), size, std::move(jedec), std::nullopt, false, volts);
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

ChipSpec DataFlash(std::string name, std::uint32_t pages, std::uint32_t standardPage,
                   std::uint32_t binaryPage, std::uint8_t statusReady,
                   std::vector<std::uint8_t> jedec) {
    ChipSpec spec;
    spec.name = std::move(name);
    spec.kind = ChipKind::DataFlash;
    spec.pages = pages;
    spec.standardPageSize = standardPage;
    spec.binaryPageSize = binaryPage;
    spec.statusReady = statusReady;
    spec.size = std::uint64_t{pages} * standardPage;
    spec.pageSize = standardPage;
    spec.jedecId = std::move(jedec);
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
    spec.eraseOpcodes.clear();
    return spec;
}

std::vector<ChipSpec> BuildCatalog() {
    std::vector<ChipSpec> c;
    const auto add = [&](ChipSpec spec) { c.push_back(std::move(spec)); };
    const auto winbondQ = [&](std::string name, std::uint64_t size, std::uint8_t type,
                              std::uint8_t capacity, Volts volts) {
        add(WithBlockProtect(
            WithSecondRegister(Flash(std::move(name), size, {0xEF, type, capacity},
                                     static_cast<std::uint8_t>(capacity - 1), true, volts),
                               0x35),
            3, static_cast<std::uint32_t>(size / 64)));
    };

    // Winbond
    add(Flash("W25X10", 128 * KiB, {0xEF, 0x30, 0x11}, 0x10, true));
    add(Flash("W25X20", 256 * KiB, {0xEF, 0x30, 0x12}, 0x11, true));
    add(Flash("W25X40", 512 * KiB, {0xEF, 0x30, 0x13}, 0x12, true));
    add(Flash("W25X80", 1 * MiB, {0xEF, 0x30, 0x14}, 0x13, true));
    winbondQ("W25Q80BV", 1 * MiB, 0x40, 0x14, k33);
    winbondQ("W25Q16DV", 2 * MiB, 0x40, 0x15, k33);
    winbondQ("W25Q32FV", 4 * MiB, 0x40, 0x16, k33);
    winbondQ("W25Q64FV", 8 * MiB, 0x40, 0x17, k33);
    winbondQ("W25Q128FV", 16 * MiB, 0x40, 0x18, k33);
    winbondQ("W25Q16DW", 2 * MiB, 0x60, 0x15, k18);
    winbondQ("W25Q64FW", 8 * MiB, 0x60, 0x17, k18);
    winbondQ("W25Q128FW", 16 * MiB, 0x60, 0x18, k18);

    // Macronix
    add(WithBlockProtect(Flash("MX25L512", 64 * KiB, {0xC2, 0x20, 0x10}, 0x05, true), 2, 16 * KiB));
    add(WithBlockProtect(Flash("MX25L1005", 128 * KiB, {0xC2, 0x20, 0x11}, 0x10, true), 2,
                         32 * KiB));
    add(Flash("MX25L2005", 256 * KiB, {0xC2, 0x20, 0x12}, 0x11, true));
    add(Flash("MX25L4005", 512 * KiB, {0xC2, 0x20, 0x13}, 0x12, true));
    add(Flash("MX25L8005", 1 * MiB, {0xC2, 0x20, 0x14}, 0x13, true));
    add(WithBlockProtect(Flash("MX25L1605D", 2 * MiB, {0xC2, 0x20, 0x15}, 0x14, true), 4,
                         64 * KiB));
    add(WithBlockProtect(Flash("MX25L3205D", 4 * MiB, {0xC2, 0x20, 0x16}, 0x15, true), 4,
                         64 * KiB));
    add(WithBlockProtect(Flash("MX25L6405D", 8 * MiB, {0xC2, 0x20, 0x17}, 0x16, true), 4,
                         128 * KiB));
    add(WithBlockProtect(Flash("MX25L12805D", 16 * MiB, {0xC2, 0x20, 0x18}, 0x17, true), 4,
                         256 * KiB));
    add(WithBlockProtect(
        WithSecondRegister(
            Flash("MX25U1635F", 2 * MiB, {0xC2, 0x25, 0x35}, 0x35, true, {1650, 2000}), 0x15),
        4, 64 * KiB));
    add(WithBlockProtect(
        WithSecondRegister(
            Flash("MX25U6435F", 8 * MiB, {0xC2, 0x25, 0x37}, 0x37, true, {1650, 2000}), 0x15),
        4, 128 * KiB));

    // GigaDevice
    for (const auto& [name, capacity, size] :
         {std::tuple{"GD25Q40", 0x13, 512 * KiB}, std::tuple{"GD25Q80", 0x14, 1 * MiB},
          std::tuple{"GD25Q16", 0x15, 2 * MiB}, std::tuple{"GD25Q32", 0x16, 4 * MiB},
          std::tuple{"GD25Q64", 0x17, 8 * MiB}, std::tuple{"GD25Q128", 0x18, 16 * MiB}}) {
        add(WithSecondRegister(Flash(name, size, {0xC8, 0x40, static_cast<std::uint8_t>(capacity)},
                                     static_cast<std::uint8_t>(capacity - 1), true),
                               0x35));
    }
    add(WithSecondRegister(Flash("GD25LQ32", 4 * MiB, {0xC8, 0x60, 0x16}, 0x15, true, {1650, 2100}),
                           0x35));
    add(WithSecondRegister(Flash("GD25LQ64", 8 * MiB, {0xC8, 0x60, 0x17}, 0x16, true, {1650, 2100}),
                           0x35));

    // SST: the A parts have no JEDEC ID and program a byte per AAI command, the B parts a word.
    add(Sst("SST25VF512A", 64 * KiB, 0x48, false, AutoIncrement::Byte, 2));
    add(Sst("SST25VF010A", 128 * KiB, 0x49, false, AutoIncrement::Byte, 2));
    add(Sst("SST25VF020B", 256 * KiB, 0x8C, true, AutoIncrement::Word, 4));
    add(Sst("SST25VF040B", 512 * KiB, 0x8D, true, AutoIncrement::Word, 4));
    add(Sst("SST25VF080B", 1 * MiB, 0x8E, true, AutoIncrement::Word, 4));
    add(Sst("SST25VF016B", 2 * MiB, 0x41, true, AutoIncrement::Word, 4));
    add(Sst("SST25VF032B", 4 * MiB, 0x4A, true, AutoIncrement::Word, 4));
    add(Sst("SST25VF064C", 8 * MiB, 0x4B, true, AutoIncrement::None, 4));

    // Atmel / Adesto
    add(Eeprom("AT25080A", 1 * KiB));
    add(Eeprom("AT25160A", 2 * KiB));
    add(At25f("AT25F512A", 64 * KiB, 0x65, 32 * KiB, 128));
    add(At25f("AT25F1024A", 128 * KiB, 0x60, 32 * KiB, 256));
    add(At25f("AT25F2048", 256 * KiB, 0x63, 64 * KiB, 256));
    add(At25f("AT25F4096", 512 * KiB, 0x64, 64 * KiB, 256));
    add(SectorProtected("AT25DF041A", 512 * KiB, {0x1F, 0x44, 0x01, 0x00}, TopSplit(7),
                        {2300, 3600}));
    add(SectorProtected("AT26DF041", 512 * KiB, {0x1F, 0x44, 0x00, 0x00},
                        {0x00000, 0x20000, 0x40000, 0x50000, 0x60000, 0x70000}));
    add(SectorProtected("AT26DF081A", 1 * MiB, {0x1F, 0x45, 0x01, 0x00}, TopSplit(15)));
    add(SectorProtected("AT26DF161", 2 * MiB, {0x1F, 0x46, 0x00, 0x00}, Uniform(16, 0x20000)));
    add(SectorProtected("AT26DF321", 4 * MiB, {0x1F, 0x47, 0x00, 0x00}, Uniform(64, 0x10000)));
    add(DataFlash("AT45DB011D", 512, 264, 256, 0x8C, {0x1F, 0x22, 0x00, 0x01, 0x00}));
    add(DataFlash("AT45DB021D", 1024, 264, 256, 0x94, {0x1F, 0x23, 0x00, 0x01, 0x00}));
    add(DataFlash("AT45DB041B", 2048, 264, 0, 0x9C, {}));
    add(DataFlash("AT45DB041D", 2048, 264, 256, 0x9C, {0x1F, 0x24, 0x00, 0x01, 0x00}));
    add(DataFlash("AT45DB081D", 4096, 264, 256, 0xA4, {0x1F, 0x25, 0x00, 0x01, 0x00}));
    add(DataFlash("AT45DB161B", 4096, 528, 0, 0xAC, {}));
    add(DataFlash("AT45DB161D", 4096, 528, 512, 0xAC, {0x1F, 0x26, 0x00, 0x01, 0x00}));
    add(DataFlash("AT45DB321D", 8192, 528, 512, 0xB4, {0x1F, 0x27, 0x01, 0x01, 0x00}));
    add(DataFlash("AT45DB642D", 8192, 1056, 1024, 0xBC, {0x1F, 0x28, 0x00, 0x01, 0x00}));

    // Micron / Numonyx / ST: the M25P parts have no 0x90; the smallest have only 0xAB.
    add(WithErase(Flash("M25P05-A", 64 * KiB, {}, 0x05, false), {{0xD8, 32 * KiB}}));
    add(WithErase(Flash("M25P10-A", 128 * KiB, {}, 0x10, false), {{0xD8, 32 * KiB}}));
    for (const auto& [name, capacity, size] :
         {std::tuple{"M25P20", 0x12, 256 * KiB}, std::tuple{"M25P40", 0x13, 512 * KiB},
          std::tuple{"M25P80", 0x14, 1 * MiB}, std::tuple{"M25P16", 0x15, 2 * MiB},
          std::tuple{"M25P32", 0x16, 4 * MiB}, std::tuple{"M25P64", 0x17, 8 * MiB}}) {
        add(WithErase(Flash(name, size, {0x20, 0x20, static_cast<std::uint8_t>(capacity)},
                            static_cast<std::uint8_t>(capacity - 1), false),
                      {{0xD8, 64 * KiB}}));
    }
    add(WithErase(Flash("M25P128", 16 * MiB, {0x20, 0x20, 0x18}, 0x17, false),
                  {{0xD8, 256 * KiB}}));
    add(Flash("N25Q064A13", 8 * MiB, {0x20, 0xBA, 0x17}, std::nullopt, false));
    add(Flash("N25Q128A11", 16 * MiB, {0x20, 0xBB, 0x18}, std::nullopt, false, {1700, 2000}));

    // Spansion / Cypress
    add(Flash("S25FL004A", 512 * KiB, {0x01, 0x02, 0x12}, 0x12, true));
    add(Flash("S25FL008A", 1 * MiB, {0x01, 0x02, 0x13}, 0x13, true));
    add(Flash("S25FL016A", 2 * MiB, {0x01, 0x02, 0x14}, 0x14, true));
    add(WithSecondRegister(Flash("S25FL032P", 4 * MiB, {0x01, 0x02, 0x15}, 0x15, true), 0x35));
    add(WithSecondRegister(Flash("S25FL064P", 8 * MiB, {0x01, 0x02, 0x16}, 0x16, true), 0x35));
    add(Flash("S25FL128P", 16 * MiB, {0x01, 0x20, 0x18}, 0x17, true));
    add(WithSecondRegister(Flash("S25FL116K", 2 * MiB, {0x01, 0x40, 0x15}, 0x14, true), 0x35));

    // EON
    add(Flash("EN25F40", 512 * KiB, {0x1C, 0x31, 0x13}, 0x12, true));
    add(Flash("EN25F80", 1 * MiB, {0x1C, 0x31, 0x14}, 0x13, true));
    add(Flash("EN25F16", 2 * MiB, {0x1C, 0x31, 0x15}, 0x14, true));
    add(Flash("EN25Q32B", 4 * MiB, {0x1C, 0x30, 0x16}, 0x15, true));
    add(Flash("EN25Q64", 8 * MiB, {0x1C, 0x30, 0x17}, 0x16, true));
    add(Flash("EN25Q128", 16 * MiB, {0x1C, 0x30, 0x18}, 0x17, true));

    // ISSI
    add(Flash("IS25LQ040B", 512 * KiB, {0x9D, 0x40, 0x13}, 0x12, true, {2300, 3600}));
    for (const auto& [name, capacity, size] :
         {std::tuple{"IS25LP080D", 0x14, 1 * MiB}, std::tuple{"IS25LP016D", 0x15, 2 * MiB},
          std::tuple{"IS25LP032D", 0x16, 4 * MiB}, std::tuple{"IS25LP064A", 0x17, 8 * MiB},
          std::tuple{"IS25LP128F", 0x18, 16 * MiB}}) {
        add(Flash(name, size, {0x9D, 0x60, static_cast<std::uint8_t>(capacity)},
                  static_cast<std::uint8_t>(capacity - 1), true, {2300, 3600}));
    }
    add(Flash("IS25WP032D", 4 * MiB, {0x9D, 0x70, 0x16}, 0x15, true, k18));
    add(Flash("IS25WP064A", 8 * MiB, {0x9D, 0x70, 0x17}, 0x16, true, k18));
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
