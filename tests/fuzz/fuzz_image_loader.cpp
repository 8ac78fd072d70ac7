// An image file as PROGRAM and a host-side VERIFY load it: by its name's extension or a
// format given, for each family, padded or not.
#include "FuzzSupport.h"
#include "core/ImageFile.h"

#include <optional>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InitQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const names[] = {"image.bin",  "image.hex",  "image.HEX", "image.ihx",
                                        "image.ihex", "image.srec", "image.s19", "image.s28",
                                        "image.s37",  "image.mot",  "image"};
    static const std::optional<core::ImageFormat> formats[] = {std::nullopt, core::ImageFormat::Raw,
                                                               core::ImageFormat::IntelHex,
                                                               core::ImageFormat::SRecord};
    fuzz::Input input(data, size);
    const QString path = fuzz::ScratchPath(QLatin1String(names[input.Below(std::size(names))]));
    const std::optional<core::ImageFormat> format = formats[input.Below(std::size(formats))];
    const core::Family& family = core::Families[input.Below(int(core::Families.size()))];
    const bool pad = input.Flag();
    fuzz::WriteFile(path, input.Rest());

    const core::LoadedImage image = core::LoadImageFile(path, format, family, pad);
    if (image.fault == core::ImageFault::None) {
        fuzz::Check(image.block.size() == family.blockSize, "a loaded image is one block");
    } else {
        fuzz::Check(!image.message.isEmpty(), "a refused image says why");
    }
    return 0;
}
