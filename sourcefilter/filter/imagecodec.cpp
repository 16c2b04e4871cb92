#include "imagecodec.h"

#include <cstdlib>
#include <cstring>

#include "platform/newfile.h"
#include "platform/text.h"
#include "qx_classes/exception.h"
#include "zmbyteorder/littleendian.h"

namespace ZenmiraVidSource {

namespace {

constexpr std::size_t kBmpFileHeaderBytes = 14;
constexpr std::size_t kBmpInfoHeaderBytes = 40;
constexpr std::size_t kBmpPaletteEntries = 256;
constexpr std::size_t kBmpPaletteBytes = kBmpPaletteEntries * 4;
constexpr std::uint32_t kBmpPixelOffset = kBmpFileHeaderBytes + kBmpInfoHeaderBytes + kBmpPaletteBytes;

constexpr std::uint16_t kTiffLittleEndian = 0x4949;
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::uint16_t kTiffDirectoryEntries = 8;
constexpr std::uint16_t kTiffShort = 3;
constexpr std::uint16_t kTiffLong = 4;
// Entries after StripOffsets (RowsPerStrip, StripByteCounts) plus the next-directory offset.
constexpr std::uint32_t kTiffBytesAfterStripOffsetsEntry = 3 * 12 + 4;

// Little-endian serialisation into a header buffer.
class ByteWriter {
public:
    void u16(std::uint32_t value) { littleendian::append16(data_, static_cast<std::uint16_t>(value)); }
    void u32(std::uint32_t value) { littleendian::append32(data_, value); }
    // A TIFF directory entry with one value; a SHORT value sits in the first two value bytes.
    void tiffEntry(std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        u16(tag);
        u16(type);
        u32(1);
        u32(value);
    }
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

// All of `bytes` or an exception carrying the system's cause.
void writeAll(platform::NewFile& file, const std::vector<std::uint8_t>& bytes) {
    if (!file.write(bytes.data(), bytes.size())) throw qx_classes::Win32_exception();
}

std::int32_t absolute(std::int32_t value) {
    return value < 0 ? -value : value;
}

}  // namespace

ImageCodec::ImageCodec(std::int32_t width, std::int32_t height, std::int32_t bits,
                       const std::u16string& colourModel, const void* pixels)
    : width_(width), height_(height), bits_(bits), colourModel_(colourModel) {
    const std::int64_t bytes = std::int64_t{width} * absolute(height) * bits / 8;
    if (std::u16string_view(kSupportedColourModels).find(colourModel_) == std::u16string_view::npos)
        throw BadCodecFormat();
    if (bytes > 0) {
        data_.resize(static_cast<std::size_t>(bytes));
        std::memcpy(data_.data(), pixels, data_.size());
    }
}

std::string ImageCodec::fileName(const std::u16string& format, const std::u16string& path) {
    const std::size_t position = std::u16string_view(kSupportedFileFormats).find(format);
    if (position == std::u16string_view::npos) throw BadCodecFormat();
    return platform::toUtf8(path) + (position == 0 ? ".bmp" : ".tiff");
}

bool ImageCodec::Save(const std::u16string& format, const std::u16string& path) {
    const std::string name = fileName(format, path);
    const bool bmp = name.ends_with(".bmp");
    platform::NewFile file;
    if (!file.create(name)) throw qx_classes::Win32_exception();

    const bool written = bits_ == 8 || bits_ == 16;
    if (written && bmp) {
        if (bits_ == 16) {
            // Each little-endian sample keeps its high byte.
            for (std::size_t i = 0; i < data_.size() / 2; ++i) data_[i] = data_[2 * i + 1];
            data_.resize(data_.size() / 2);
            bits_ = 8;
        }
        writeBmp(file);
    } else if (written) {
        writeTiff(file);
    }
    // Another depth leaves the file empty.
    if (!file.publish()) throw qx_classes::Win32_exception();
    return written;
}

// An 8-bit BMP with a grey palette, rows stored top row first (negative height). Rows are padded
// to a multiple of four bytes, as every BMP reader expects.
void ImageCodec::writeBmp(platform::NewFile& file) {
    const std::size_t rowBytes = static_cast<std::size_t>(width_);
    const std::size_t paddedRowBytes = (rowBytes + 3) / 4 * 4;
    const std::size_t rows = static_cast<std::size_t>(absolute(height_));
    const auto imageBytes = static_cast<std::uint32_t>(paddedRowBytes * rows);

    ByteWriter fileHeader;
    fileHeader.u16(0x4D42);  // "BM"
    fileHeader.u32(kBmpPixelOffset + imageBytes);
    fileHeader.u16(0);
    fileHeader.u16(0);
    fileHeader.u32(kBmpPixelOffset);
    writeAll(file, fileHeader.data());

    ByteWriter infoHeader;
    infoHeader.u32(kBmpInfoHeaderBytes);
    infoHeader.u32(static_cast<std::uint32_t>(width_));
    infoHeader.u32(static_cast<std::uint32_t>(-absolute(height_)));
    infoHeader.u16(1);  // planes
    infoHeader.u16(8);  // bits per pixel
    infoHeader.u32(0);  // BI_RGB
    infoHeader.u32(imageBytes);
    infoHeader.u32(0);
    infoHeader.u32(0);
    infoHeader.u32(kBmpPaletteEntries);
    infoHeader.u32(0);
    writeAll(file, infoHeader.data());

    std::vector<std::uint8_t> palette(kBmpPaletteBytes, 0);
    for (std::size_t i = 0; i < kBmpPaletteEntries; ++i) {
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = static_cast<std::uint8_t>(i);
    }
    writeAll(file, palette);

    if (paddedRowBytes == rowBytes) {
        writeAll(file, data_);
        return;
    }
    std::vector<std::uint8_t> padded(imageBytes, 0);
    for (std::size_t row = 0; row < rows; ++row)
        std::memcpy(&padded[row * paddedRowBytes], &data_[row * rowBytes], rowBytes);
    writeAll(file, padded);
}

// A baseline little-endian TIFF: one directory of eight entries, one uncompressed strip.
void ImageCodec::writeTiff(platform::NewFile& file) {
    const auto rows = static_cast<std::uint32_t>(absolute(height_));
    ByteWriter header;
    header.u16(kTiffLittleEndian);
    header.u16(kTiffMagic);
    header.u32(8);  // the first directory follows the header
    header.u16(kTiffDirectoryEntries);
    header.tiffEntry(256, kTiffShort, static_cast<std::uint32_t>(width_));  // ImageWidth
    header.tiffEntry(257, kTiffShort, rows);                                // ImageLength
    header.tiffEntry(258, kTiffShort, static_cast<std::uint32_t>(bits_));   // BitsPerSample
    header.tiffEntry(259, kTiffShort, 1);                                   // Compression: none
    header.tiffEntry(262, kTiffShort, 1);                                   // Photometric: black is zero
    writeAll(file, header.data());

    ByteWriter tail;
    tail.tiffEntry(273, kTiffLong,
                   static_cast<std::uint32_t>(file.size()) + kTiffBytesAfterStripOffsetsEntry);
    tail.tiffEntry(278, kTiffShort, rows);                                     // RowsPerStrip
    tail.tiffEntry(279, kTiffLong, static_cast<std::uint32_t>(data_.size()));  // StripByteCounts
    tail.u32(0);                                                               // no next directory
    writeAll(file, tail.data());
    writeAll(file, data_);
}

}  // namespace ZenmiraVidSource
