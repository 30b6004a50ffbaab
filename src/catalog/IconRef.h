#pragma once

#include <memory>
#include <string>

namespace kestrel {

/// Where an item's picture comes from. The scan only records this; the user interface resolves and
/// decodes the image when a row is first drawn.
struct IconSource {
    enum class Kind {
        themeIcon, ///< `value` is a freedesktop icon-theme name ("firefox")
        imageFile, ///< `value` is an absolute path to an image file (PNG, SVG, XPM, ICNS)
        symbol,    ///< `value` is the name of one of the launcher's own symbols ("calculator")
    };
    Kind kind = Kind::themeIcon;
    std::string value;
};

/// The opaque, shared, immutable image handle carried by items.
using IconRef = std::shared_ptr<const IconSource>;

} // namespace kestrel
