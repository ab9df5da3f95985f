// What the Load File dialog works on: the dialog's state (file, format, source range,
// destination, fill), the selected device's size, and the dialog's actions. The workbench
// implements it; the dialog and its tests need nothing else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "torq/buffer/Load.h"

namespace torq {

// The dialog's text fields, each as the operator typed it (after the typing rule).
enum class LoadField { SourceStart, SourceEnd, Destination, Fill };

// The fields a caller without the dialog sets for a load (the command-line tool). A field left
// unset keeps what preparing the load gave it.
struct LoadSettings {
    LoadFormat format = LoadFormat::AutoDetect;
    std::optional<std::string> sourceStartText;
    std::optional<std::string> sourceEndText;
    std::optional<std::string> destinationText;
    std::optional<std::string> fillText;
    bool fillUnused = true;
};

class LoadModel {
  public:
    virtual const LoadDialogState& LoadDialog() const = 0;
    // The selected device's size in bytes; 0 without a device.
    virtual std::uint64_t DeviceSize() const = 0;

    // Browse: the dialog prepared with its defaults for a chosen file and a socket.
    virtual void PrepareLoad(int unit, int socket, const std::filesystem::path& file) = 0;
    // Browse came back: true when it chose a file to load; otherwise no socket is being served.
    virtual bool ChooseFileToLoad(const std::filesystem::path& chosen) = 0;
    virtual void ChooseLoadFormat(LoadFormat format) = 0;
    virtual void SetLoadFieldText(LoadField field, std::string text) = 0;
    virtual void SetFillUnused(bool fill) = 0;
    // OK: the load with the dialog's state, into the socket it was prepared for.
    virtual LoadOutcome LoadFromDialog(ProgressSink* progress = nullptr) = 0;

  protected:
    ~LoadModel() = default;
};

}  // namespace torq
