#pragma once

#include "FakeClock.h"
#include "FakeFileDialogs.h"
#include "FakeMessageBoxes.h"
#include "platform/QtSettingsStore.h"
#include "platform/Services.h"

#include <QTemporaryDir>

// A whole set of doubles: virtual clock, scripted boxes and dialogs, settings in a temp INI.
struct TestServices {
    QTemporaryDir dir;
    FakeClock clock;
    FakeMessageBoxes messages;
    FakeFileDialogs dialogs;
    platform::QtSettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    platform::Services services{clock, messages, dialogs, settings, nullptr};
};
