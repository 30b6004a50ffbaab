#pragma once

namespace kestrel {

/// The kind of a result row. The numeric values are the case indices that hashing feeds.
enum class LauncherItemType { application = 0, calculation = 1 };

} // namespace kestrel
