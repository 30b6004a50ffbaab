#pragma once

#include <QIcon>

namespace kestrel {

/// The launcher's own icon (bundled artwork), for `QApplication::setWindowIcon` at start-up; the settings
/// sheet shows whatever window icon the application has. Never null.
QIcon applicationIcon();

} // namespace kestrel
