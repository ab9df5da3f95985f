// The facts of each text data format in one row: its name, the file name extensions it goes by,
// its log lines, its detector and decoder scans, and the load-dialog entry it answers to. Every
// place that needs a fact of a format looks it up here instead of keeping a switch of its own.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "HexScan.h"
#include "torq/buffer/HexFormats.h"
#include "torq/buffer/Load.h"

namespace torq::hex {

struct HexFormatRow {
    HexFormat format;
    LoadFormat loadFormat;
    std::string_view name;  // "Intel", as the load's questions and log lines say it
    std::span<const std::string_view> extensions;
    std::string_view formatError;  // "Intel Hex file format error !"
    std::string_view detectFail;   // "Intel Hex file detect fail !"
    bool (*detect)(ScanWindow& window);
    ScanEnd (*decode)(ScanWindow& window, ImageWriter& image, ProgressTracker& progress);
};

// In the order the load tries the detectors: Intel, Motorola, Tektronix.
std::span<const HexFormatRow> HexFormatRows();
const HexFormatRow& RowOf(HexFormat format);
const HexFormatRow* RowOf(LoadFormat format);  // null for the binary and executable entries

}  // namespace torq::hex
