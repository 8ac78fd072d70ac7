#pragma once

#include "platform/RuntimeError.h"

#include <functional>

// The number of the run-time error action raises; 0 when it raises none.
inline int ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::RuntimeError& error) {
        return error.Number();
    }
    return 0;
}
