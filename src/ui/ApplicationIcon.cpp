#include "ui/ApplicationIcon.h"

#include "ui/Symbols.h"

namespace kestrel {

QIcon applicationIcon()
{
    return Symbols::imageIcon(QStringLiteral(":/kestrel/kestrelpoint.svg"));
}

} // namespace kestrel
