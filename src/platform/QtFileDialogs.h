#pragma once

#include "FileDialogs.h"

namespace platform {

class QtFileDialogs : public FileDialogs {
public:
    std::optional<QString> ShowOpen(const FileDialogOptions& options) override;
    std::optional<QString> ShowSave(const FileDialogOptions& options) override;
};

} // namespace platform
