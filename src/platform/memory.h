// memory.h: advice to the system about large buffers.
#pragma once

#include <cstddef>

namespace quarn::platform {

// Asks for the whole pages inside [start, start + bytes) to be backed by
// huge pages when they are first touched: a picture's bitmap, written once
// in full, is then faulted in 2 MB at a time instead of 4 KB. Advice only:
// nothing changes where the system does not take it.
void adviseLargePages(void* start, size_t bytes);

}  // namespace quarn::platform
