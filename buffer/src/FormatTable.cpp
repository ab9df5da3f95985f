#include "FormatTable.h"

#include <array>

namespace torq::hex {

namespace {

constexpr std::string_view kIntelExtensions[] = {"hex", "ihx", "ihex"};
constexpr std::string_view kMotorolaExtensions[] = {"s19", "s28", "s37", "srec", "mot"};
constexpr std::string_view kTektronixExtensions[] = {"tek", "tex"};

const std::array<HexFormatRow, 3> kRows{{
    {HexFormat::Intel, LoadFormat::IntelHex, "Intel", kIntelExtensions,
     "Intel Hex file format error !", "Intel Hex file detect fail !", ScanIntelDetect,
     ScanIntelDecode},
    {HexFormat::Motorola, LoadFormat::MotorolaHex, "Motorola", kMotorolaExtensions,
     "Motorola Hex file format error !", "Motorola Hex file detect fail !", ScanMotorolaDetect,
     ScanMotorolaDecode},
    {HexFormat::Tektronix, LoadFormat::TektronixHex, "Tektronix", kTektronixExtensions,
     "Tektronix Hex file format error !", "Tektronix Hex file detect fail !", ScanTektronixDetect,
     ScanTektronixDecode},
}};

}  // namespace

std::span<const HexFormatRow> HexFormatRows() {
    return kRows;
}

const HexFormatRow& RowOf(HexFormat format) {
    for (const auto& row : kRows) {
        if (row.format == format)
            return row;
    }
    return kRows.front();
}

const HexFormatRow* RowOf(LoadFormat format) {
    for (const auto& row : kRows) {
        if (row.loadFormat == format)
            return &row;
    }
    return nullptr;
}

}  // namespace torq::hex
