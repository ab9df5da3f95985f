// The SPI flash opcodes the command scripts carry, named once for the whole link. The simulated
// chips keep their own copy on purpose: a wrong constant here then shows up in the tests.
#pragma once

#include <cstdint>

namespace torq::spi {

// 25-series serial flash
inline constexpr std::uint8_t kWriteEnable = 0x06;
inline constexpr std::uint8_t kWriteDisable = 0x04;
inline constexpr std::uint8_t kReadStatus = 0x05;
inline constexpr std::uint8_t kWriteStatus = 0x01;
inline constexpr std::uint8_t kWriteStatusEnable = 0x50;
inline constexpr std::uint8_t kPageProgram = 0x02;
inline constexpr std::uint8_t kRead = 0x03;
inline constexpr std::uint8_t kWordProgramAai = 0xAD;
inline constexpr std::uint8_t kByteProgramAai = 0xAF;
inline constexpr std::uint8_t kChipErase = 0xC7;
inline constexpr std::uint8_t kChipEraseAlternative = 0x60;
inline constexpr std::uint8_t kChipEraseAt25F = 0x62;
inline constexpr std::uint8_t kBlockErase64K = 0xD8;
inline constexpr std::uint8_t kBlockErase32K = 0x52;
inline constexpr std::uint8_t kSectorErase4K = 0x20;
inline constexpr std::uint8_t kAt26UnprotectSector = 0x39;
inline constexpr std::uint8_t kAt26ProtectSector = 0x36;

// Identification commands
inline constexpr std::uint8_t kJedecId = 0x9F;
inline constexpr std::uint8_t kElectronicSignature = 0xAB;
inline constexpr std::uint8_t kManufacturerDeviceId = 0x90;
inline constexpr std::uint8_t kAt25FProductId = 0x15;

// 45-series DataFlash
inline constexpr std::uint8_t kDataFlashStatus = 0xD7;
inline constexpr std::uint8_t kDataFlashContinuousRead = 0xE8;
inline constexpr std::uint8_t kDataFlashBufferWrite = 0x84;
inline constexpr std::uint8_t kDataFlashBufferToPageProgram = 0x88;
inline constexpr std::uint8_t kDataFlashBlockErase = 0x50;
// The four bytes that switch a DataFlash to power-of-two pages.
inline constexpr std::uint8_t kDataFlashPageSizeSetUp[] = {0x3D, 0x2A, 0x80, 0xA6};

}  // namespace torq::spi
