#include "torq/buffer/HexFuzz.h"

#include <cstdlib>
#include <vector>

#include "HexScan.h"

namespace torq {

namespace {

// Holds the image in memory and aborts on any write the limit forbids.
class BoundedImage final : public hex::ImageOutput {
  public:
    void Put(std::uint64_t address, const std::uint8_t* data, std::size_t size) override {
        Check(address, size);
        std::copy(data, data + size, bytes_.begin() + static_cast<std::ptrdiff_t>(address));
    }
    void PutFill(std::uint64_t address, std::uint8_t fill, std::uint64_t count) override {
        Check(address, count);
        std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(address), count, fill);
    }
    std::uint64_t Extent() const { return extent_; }

  private:
    void Check(std::uint64_t address, std::uint64_t count) {
        if (address > kFuzzImageLimit || count > kFuzzImageLimit - address)
            std::abort();
        if (bytes_.size() < address + count)
            bytes_.resize(address + count);
        extent_ = std::max(extent_, address + count);
    }
    std::vector<std::uint8_t> bytes_;
    std::uint64_t extent_ = 0;
};

}  // namespace

bool FuzzDetectAndDecode(HexFormat format, const std::uint8_t* data, std::size_t size) {
    hex::MemoryReader detectReader(data, size);
    hex::RunDetector(format, detectReader, nullptr);

    hex::MemoryReader decodeReader(data, size);
    BoundedImage image;
    DecodeRequest request;
    request.writeLimit = kFuzzImageLimit;
    const DecodeResult result = hex::RunDecoder(format, decodeReader, size, image, request);
    // Everything written lies below the end address + 1, except what a move back to a lower
    // base leaves behind it.
    if (result.ok && !result.endAddress && image.Extent() > 0 && format != HexFormat::Intel) {
        std::abort();
    }
    return result.ok;
}

}  // namespace torq
