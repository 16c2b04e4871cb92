// Writes one grey-scale picture held in memory as a BMP or TIFF file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class NewFile;
}

namespace ZenmiraVidSource {

// The file formats a picture can be written in; a format text is valid when it is a part of this.
inline constexpr char16_t kSupportedFileFormats[] = u"bmp;tiff";
inline constexpr char16_t kSupportedColourModels[] = u"gray";

// A colour model, file format or bit depth that the codec cannot write.
class BadCodecFormat {};

class ImageCodec {
public:
    // Copies width * |height| * bits / 8 bytes of `pixels`: rows top first, 16-bit samples in
    // little-endian order. Throws BadCodecFormat unless `colourModel` is a part of "gray".
    ImageCodec(std::int32_t width, std::int32_t height, std::int32_t bits, const std::u16string& colourModel,
               const void* pixels);

    // Writes <path>.bmp (8 bits per pixel; 16-bit samples keep their high byte) when `format` is
    // found at the start of "bmp;tiff", else <path>.tiff (samples unchanged). The file appears
    // under its name only when it is complete, and only when no file has that name: an existing
    // file is never overwritten. Returns false, leaving an empty file, for a bit depth other than
    // 8 or 16.
    // Throws BadCodecFormat (no file made) when `format` is not a part of "bmp;tiff", and
    // qx_classes::Win32_exception with the system's cause (EEXIST, ENOENT, ENOSPC, ...) when the
    // file cannot be made or written; nothing is then left under the name.
    bool Save(const std::u16string& format, const std::u16string& path);
    // The name Save gives the file of `path` in `format` (UTF-8); throws BadCodecFormat as Save.
    static std::string fileName(const std::u16string& format, const std::u16string& path);

private:
    void writeBmp(platform::NewFile& file);
    void writeTiff(platform::NewFile& file);

    std::int32_t width_;
    std::int32_t height_;
    std::int32_t bits_;
    std::u16string colourModel_;
    std::vector<std::uint8_t> data_;
};

}  // namespace ZenmiraVidSource
